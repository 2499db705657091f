#pragma once
// What Windows-side tests need around the programs under test: the stand-in sensor service,
// registry values, and starting programs of this build.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

constexpr wchar_t kSettingsKeyPath[] = L"Software\\Zenquill\\ZQ Proximity Sensor";

// --- The stand-in service (tools/standin-service), installed and started by the bench. ---
bool StartStandIn();      // true once it runs
bool StopStandIn();       // true once it has stopped (or is not installed)
bool InstallStandIn();    // runs "<stand-in> -install" (path from ZQ_STANDIN_EXE)
bool UninstallStandIn();  // stops and deletes it
bool StandInRunning();

// The stand-in appends one line "hh:mm:ss.mmm <code> <what>" per control it receives.
// Take a mark before an action, then read the codes that arrived after it.
size_t StandInLogMark();
std::vector<unsigned> StandInCodesSince(size_t mark);
std::string StandInLogSince(size_t mark);

// --- Registry ---
// The view is this process's own (0), or KEY_WOW64_32KEY / KEY_WOW64_64KEY: a 32-bit process on
// 64-bit Windows sees HKLM\Software through the 32-bit view unless it asks for the other.
bool WriteBinaryValue(HKEY root, const wchar_t* key, const wchar_t* name, const void* data,
                      DWORD size, REGSAM view = 0);
std::optional<std::vector<BYTE>> ReadBinaryValue(HKEY root, const wchar_t* key,
                                                 const wchar_t* name, REGSAM view = 0);
bool DeleteRegistryValue(HKEY root, const wchar_t* key, const wchar_t* name, REGSAM view = 0);
bool DeleteRegistryTree(HKEY root, const wchar_t* key);

// --- Programs of this build ---
// Full path of a program in <build>/bin (the tests themselves live in <build>/tests).
std::wstring ProgramPath(const wchar_t* fileName);

struct ProcessResult {
  bool started = false;
  bool timedOut = false;
  DWORD exitCode = 0;
};
// Starts "commandLine" and waits up to timeoutMs; a program still running then is ended.
ProcessResult RunProgram(const std::wstring& commandLine, DWORD timeoutMs);

// Reads a whole file's bytes; nullopt when it cannot be opened.
std::optional<std::vector<BYTE>> ReadWholeFile(const wchar_t* path);
