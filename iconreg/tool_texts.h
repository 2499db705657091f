#pragma once
// The texts iconreg writes: the Control Panel item's key paths and values, and its log lines.
// Plain C++ so that they are checked on any machine.

#include <cstddef>
#include <string>

#include "shared/control_panel_item.h"
#include "shared/data_paths.h"  // kToolLogPath
#include "shared/program_ids.h"

// --- The values of the Control Panel item, whose keys shared/control_panel_item.h names. ---

constexpr char16_t kApplicationNameValue[] = u"System.ApplicationName";
constexpr char16_t kCategoryValue[] = u"System.ControlPanel.Category";

constexpr char16_t kDisplayName[] = u"ZQ Proximity Sensor";
constexpr char16_t kApplicationName[] = u"ZQ.ZQProximityUtility";
constexpr char16_t kCategory[] = u"2";  // Hardware and Sound
constexpr char16_t kProgramPathTail[] = u"\\Zenquill\\ZQ Proximity Sensor\\SENSORCTL.exe";

// Room for a value text: any real folder path (the longest path Windows knows has 32767
// characters) with the program's tail still fits; a text that would be longer is not written.
constexpr size_t kRegistryTextCapacity = 32768 + 128;

// A registry text as formed, and whether it came out whole. A cut text must not be written.
struct RegistryText {
  std::u16string text;
  bool complete = false;
};

// The open command: the program's full path in double quotes. An empty folder (when Windows
// cannot name it) gives a path that starts with the tail's backslash.
RegistryText BuildCommandText(const char16_t* programFilesFolder);
// The settings program's icon group; a negative number in an icon reference names a resource
// id rather than an index.
constexpr int kSettingsIconGroup = IDI_SENSORCTL;
// The icon: the open command followed by ", -130", the icon group inside the program.
RegistryText BuildIconText(const char16_t* programFilesFolder);

// --- The tool log ---

constexpr char16_t kLogIconProgress[] = u"Set ZQ Proximity Sensor Utility Icon";
constexpr char16_t kLogKeyFailure[] = u"RegCreateKeyEx:Fail";
constexpr char16_t kLogValueFailure[] = u"RegSetValueEx:Fail";
constexpr char16_t kLogReturnFailure[] = u"return -1";

// A log line keeps at most 2047 characters; a longer one loses its end, line break included.
constexpr size_t kToolLogLineCapacity = 2048;

// Local time of a log line; the year and the day of the week are not written.
struct ToolLogStamp {
  int month = 1;  // 1 to 12
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int milliseconds = 0;  // 0 to 999
};

// "[MM:DD:hh:mm:ss:mmmm] message\r\n"
std::u16string FormatToolLogLine(const ToolLogStamp& stamp, const char16_t* message);
