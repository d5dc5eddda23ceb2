// The pieces of the environment report that are plain computations on numbers Windows or the
// processor gave.
#pragma once

#include <windows.h>

#include <string>

// Family, model and stepping as the processor makers count them (extended fields included).
struct CpuSignature {
    unsigned family, model, stepping;
};
CpuSignature DecodeCpuSignature(unsigned leaf1Eax);

// The CPUID registers the feature list reads.
struct CpuidFeatures {
    unsigned leaf1Ecx = 0, leaf1Edx = 0;       // leaf 1
    unsigned leaf7Ebx = 0;                     // leaf 7, subleaf 0
    unsigned extendedEcx = 0, extendedEdx = 0; // leaf 0x80000001
};
// The names of the features a support question may turn on, blank-separated.
std::string CpuFeatureText(const CpuidFeatures &features);

// "512 KB", "640 MB", "7.8 GB", "1.8 TB" (binary units).
std::string ByteSizeText(unsigned long long bytes);
// "UTC+09:00" for a bias of -540 minutes (Windows counts UTC = local time + bias).
std::string UtcOffsetText(LONG biasMinutes);
// The registry's product name; Windows 11 still calls itself "Windows 10" there, its build tells.
std::string WindowsProductName(const char *registryName, DWORD build);
