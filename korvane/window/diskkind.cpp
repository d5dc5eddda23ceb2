// diskkind: the seek-penalty property, the ATA IDENTIFY query behind it, and the decision.
#include "window/diskkind.h"

#include "winhandle.h"

#include <winioctl.h>

#include <cstddef>
#include <cstdio>
#include <cstring>

namespace {

// The Windows 7 names, which the XP-level headers do not declare; the IOCTL itself is XP's, so
// nothing newer is linked and older systems simply refuse the property.
constexpr int kStorageDeviceSeekPenaltyProperty = 7;
struct SeekPenaltyDescriptor {
    DWORD Version;
    DWORD Size;
    BOOLEAN IncursSeekPenalty;
};

UniqueFile OpenVolume(int letter) {
    char volume[] = "\\\\.\\A:";
    volume[4] = static_cast<char>('A' + letter);
    // No access rights: the property and device-number queries work without elevation.
    return UniqueFile(CreateFileA(volume, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
}

void AskSeekPenalty(HANDLE volume, DiskAnswers *answers) {
    STORAGE_PROPERTY_QUERY query = {};
    query.PropertyId = static_cast<STORAGE_PROPERTY_ID>(kStorageDeviceSeekPenaltyProperty);
    query.QueryType = PropertyStandardQuery;
    SeekPenaltyDescriptor reply = {};
    DWORD returned = 0;
    bool incurs = false;
    if (DeviceIoControl(volume, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query, &reply, sizeof reply, &returned,
                        nullptr) &&
        ReadSeekPenaltyReply(&reply, returned, &incurs)) {
        answers->seekPenaltyAnswered = true;
        answers->incursSeekPenalty = incurs;
    }
}

// The physical disk's ATA IDENTIFY data: word 217 is the nominal media rotation rate.
void AskIdentify(HANDLE volume, DiskAnswers *answers) {
    STORAGE_DEVICE_NUMBER number = {};
    DWORD returned = 0;
    if (!DeviceIoControl(volume, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &number, sizeof number, &returned,
                         nullptr))
        return;
    answers->deviceNumberAnswered = true;
    char diskName[48];
    snprintf(diskName, sizeof diskName, "\\\\.\\PhysicalDrive%lu", static_cast<unsigned long>(number.DeviceNumber));
    UniqueFile disk(CreateFileA(diskName, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    if (!disk) return;
    SENDCMDINPARAMS in = {};
    in.cBufferSize = IDENTIFY_BUFFER_SIZE;
    in.irDriveRegs.bCommandReg = ID_CMD;
    in.irDriveRegs.bSectorCountReg = 1;
    in.irDriveRegs.bSectorNumberReg = 1;
    in.irDriveRegs.bDriveHeadReg = 0xA0;
    BYTE out[sizeof(SENDCMDOUTPARAMS) + IDENTIFY_BUFFER_SIZE] = {};
    if (!DeviceIoControl(disk.Get(), SMART_RCV_DRIVE_DATA, &in, sizeof in - 1, out, sizeof out, &returned, nullptr))
        return;
    const size_t head = offsetof(SENDCMDOUTPARAMS, bBuffer);
    if (returned <= head) return;
    answers->identifyAnswered = true;
    answers->rotationRate = RotationRateOf(out + head, returned - head);
}

} // namespace

FixedDiskKind DecideFixedKind(const DiskAnswers &answers) {
    if (answers.seekPenaltyAnswered) return answers.incursSeekPenalty ? FixedDiskKind::HardDisk : FixedDiskKind::Ssd;
    if (!answers.deviceNumberAnswered) return FixedDiskKind::Unknown;
    return answers.identifyAnswered && answers.rotationRate == 1 ? FixedDiskKind::Ssd : FixedDiskKind::HardDisk;
}

bool ReadSeekPenaltyReply(const void *reply, DWORD returned, bool *incursSeekPenalty) {
    const size_t needed = offsetof(SeekPenaltyDescriptor, IncursSeekPenalty) + 1;
    if (!reply || returned < needed) return false;
    SeekPenaltyDescriptor descriptor = {};
    memcpy(&descriptor, reply, returned < sizeof descriptor ? returned : sizeof descriptor);
    if (descriptor.Size < needed) return false;
    *incursSeekPenalty = descriptor.IncursSeekPenalty != 0;
    return true;
}

WORD RotationRateOf(const BYTE *identify, size_t size) {
    if (!identify || size < 218 * 2) return 0;
    return static_cast<WORD>(identify[217 * 2] | identify[217 * 2 + 1] << 8);
}

FixedDiskKind ProbeFixedKind(int letter) {
    DiskAnswers answers;
    UniqueFile volume = OpenVolume(letter);
    if (volume) {
        AskSeekPenalty(volume.Get(), &answers);
        if (!answers.seekPenaltyAnswered) AskIdentify(volume.Get(), &answers);
    }
    return DecideFixedKind(answers);
}
