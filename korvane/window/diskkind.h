// diskkind: whether a fixed drive is a hard disk or an SSD. The drive is asked for the storage
// seek-penalty property first (Windows 7 and later answer it for every bus, NVMe and USB too),
// then, where that gets no answer, for the ATA IDENTIFY data of its physical disk. The decision
// over the answers is a plain function, so recorded answers of real drives can check it.
#pragma once

#include <windows.h>

#include <string>

enum class FixedDiskKind { HardDisk, Ssd, Unknown };

// What a drive answered, as the probe recorded it.
struct DiskAnswers {
    // The seek-penalty property: absent before Windows 7 and on some drivers.
    bool seekPenaltyAnswered = false;
    bool incursSeekPenalty = false;
    // The described query: the volume's device number, then the physical disk's IDENTIFY data.
    bool deviceNumberAnswered = false;
    bool identifyAnswered = false;
    WORD rotationRate = 0; // IDENTIFY word 217: 1 for a disk that does not rotate
};

FixedDiskKind DecideFixedKind(const DiskAnswers &answers);

// The reply of IOCTL_STORAGE_QUERY_PROPERTY for the seek-penalty property: false when it is too
// short to hold the flag (by the byte count returned or the size it states).
bool ReadSeekPenaltyReply(const void *reply, DWORD returned, bool *incursSeekPenalty);
// Word 217 of IDENTIFY data of the given size; 0 when the data is shorter.
WORD RotationRateOf(const BYTE *identify, size_t size);

// Asks the drive (0 = A:) both ways and decides.
FixedDiskKind ProbeFixedKind(int letter);
