// The rules behind the planner's system changes (rnschange.cpp), as plain functions.
#pragma once

#include "planner/rnsrun.h"

#include <windows.h>

#include <string>
#include <vector>

// Registry keys the run changes, below HKEY_LOCAL_MACHINE unless said otherwise.
constexpr const char *kPoliciesSystemPath = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
constexpr const char *kMemoryManagementPath = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory Management";
constexpr const char *kMachineRunOncePath = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Runonce";
constexpr const char *kUserWinlogonPath = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon"; // HKCU
constexpr const char *kUserRunOncePath = "Software\\Microsoft\\Windows\\CurrentVersion\\Runonce";      // HKCU

// The shell to give back after the run: the current per-user shell, or "Explorer.exe" when that is
// already QS (a run that never got to restore it). An empty shell stays empty.
std::string OldShellToSave(const std::string &currentShell, const std::string &qsPath);

// The files of a PagingFiles value (a multi-string, possibly unterminated): of each entry its
// first word, or the text between its quotes when it begins with one.
std::vector<std::string> PagingFilePaths(const std::string &data);

// BOOT.INI with every entry of [operating systems] made to start safe mode (minimal, or with the
// network); other lines of that section are dropped, the rest is kept. Lines end in CR LF.
std::string RewriteBootIniForSafeMode(const std::string &content, bool minimal);

// The BOOT.INI work in a given boot folder ("C:\"); PrepareBootIni uses the boot drive.
void PrepareBootIniIn(const std::string &bootFolder, PlannerOptions &options);

// The physical memory, asked by the paging-file step; tests replace it.
extern unsigned long long (*g_physicalMemory)();
constexpr unsigned long long kMemoryForNoPagingFile = 0x4000000; // 64 MiB
