#pragma once
// The fixed places of the programs' files: no environment variable, registry value or
// argument moves them. Both logs share C:\ZQ\Data; appwatch reads its configuration from
// C:\ZQ\Data\ZQPRX, which the installer makes and fills. Windows paths ignore case, so the
// configuration's lower-case spelling names the same folders. Plain C++ (UTF-16 units); on
// Windows, AsWide of shared/text16.h gives the wide view.

constexpr char16_t kDataRootPath[] = u"C:\\ZQ";
constexpr char16_t kDataFolderPath[] = u"C:\\ZQ\\Data";
constexpr char16_t kConfigFolderPath[] = u"C:\\ZQ\\Data\\ZQPRX";
constexpr char16_t kMonitorLogPath[] = u"C:\\ZQ\\Data\\APPWATCH.log";
constexpr char16_t kToolLogPath[] = u"C:\\ZQ\\Data\\ZQPRXIconSet.log";
constexpr char16_t kMonitorConfigPath[] = u"C:\\zq\\data\\ZQPRX\\appwatch.dat";
