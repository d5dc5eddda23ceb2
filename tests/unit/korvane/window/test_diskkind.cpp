// Hard disk or SSD: the decision over what drives answered, with the replies of real drives as
// recorded, and the two replies read as they come from the driver.
#include "window/diskkind.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// IOCTL_STORAGE_QUERY_PROPERTY replies for the seek-penalty property: Version, Size (both
// DWORDs, little-endian), IncursSeekPenalty.
std::vector<BYTE> SeekPenaltyReply(BYTE incurs, BYTE size = 12) {
    return {12, 0, 0, 0, size, 0, 0, 0, incurs, 0, 0, 0};
}

// 512 bytes of IDENTIFY data with word 217 set.
std::vector<BYTE> Identify(WORD rotation) {
    std::vector<BYTE> data(512);
    data[434] = BYTE(rotation);
    data[435] = BYTE(rotation >> 8);
    return data;
}

std::vector<BYTE> Prefix(std::vector<BYTE> bytes, size_t count) {
    bytes.resize(count);
    return bytes;
}

TEST(DiskKind, RecordedDrivesAreDecidedAsTheyAre) {
    struct Case {
        const char *drive;
        std::vector<BYTE> seekPenalty; // empty: the property was refused
        bool deviceNumber;
        std::vector<BYTE> identify; // empty: IDENTIFY failed
        FixedDiskKind expected;
    } cases[] = {
        {"NVMe SSD on Windows 10 (no ATA IDENTIFY)", SeekPenaltyReply(0), true, {}, FixedDiskKind::Ssd},
        {"USB SSD on Windows 10 (a bridge without SMART)", SeekPenaltyReply(0), true, {}, FixedDiskKind::Ssd},
        {"SATA SSD on Windows 7", SeekPenaltyReply(0), true, Identify(1), FixedDiskKind::Ssd},
        {"SATA hard disk on Windows 7", SeekPenaltyReply(1), true, Identify(7200), FixedDiskKind::HardDisk},
        {"USB hard disk on Windows 10", SeekPenaltyReply(1), true, {}, FixedDiskKind::HardDisk},
        {"SATA SSD on XP (no seek-penalty property)", {}, true, Identify(1), FixedDiskKind::Ssd},
        {"SATA hard disk on XP", {}, true, Identify(5400), FixedDiskKind::HardDisk},
        {"old ATA disk that states no rate, on XP", {}, true, Identify(0), FixedDiskKind::HardDisk},
        {"SCSI disk on XP (IDENTIFY refused)", {}, true, {}, FixedDiskKind::HardDisk},
        {"spanned volume on XP (no device number)", {}, false, {}, FixedDiskKind::Unknown},
        {"spanned volume on Windows 7 (answers for its disks)", SeekPenaltyReply(0), false, {}, FixedDiskKind::Ssd},
        {"driver stating a reply too short for the flag", SeekPenaltyReply(0, 8), true, Identify(7200),
         FixedDiskKind::HardDisk},
        {"driver returning 8 bytes only", Prefix(SeekPenaltyReply(0), 8), true, Identify(1), FixedDiskKind::Ssd},
        {"IDENTIFY data cut short before word 217", {}, true, Prefix(Identify(1), 300), FixedDiskKind::HardDisk},
    };
    for (const Case &c : cases) {
        DiskAnswers answers;
        bool incurs = true;
        if (!c.seekPenalty.empty() &&
            ReadSeekPenaltyReply(c.seekPenalty.data(), DWORD(c.seekPenalty.size()), &incurs)) {
            answers.seekPenaltyAnswered = true;
            answers.incursSeekPenalty = incurs;
        }
        answers.deviceNumberAnswered = c.deviceNumber;
        if (c.deviceNumber && !c.identify.empty()) {
            answers.identifyAnswered = true;
            answers.rotationRate = RotationRateOf(c.identify.data(), c.identify.size());
        }
        EXPECT_EQ(int(c.expected), int(DecideFixedKind(answers))) << c.drive;
    }
}

TEST(DiskKind, RepliesOfNoLengthAreNoAnswers) {
    bool incurs = true;
    EXPECT_FALSE(ReadSeekPenaltyReply(nullptr, 12, &incurs));
    EXPECT_FALSE(ReadSeekPenaltyReply(SeekPenaltyReply(0).data(), 0, &incurs));
    EXPECT_TRUE(incurs) << "left as it was";
    EXPECT_EQ(0, RotationRateOf(nullptr, 512));
    EXPECT_EQ(0, RotationRateOf(Identify(1).data(), 435)) << "word 217 needs bytes 434 and 435";
    EXPECT_EQ(1, RotationRateOf(Identify(1).data(), 436));
}

} // namespace
