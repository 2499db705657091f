#include "appwatch/monitor_state.h"

HINSTANCE monitorInstance = nullptr;
std::atomic<HWND> monitorWindow{nullptr};
std::atomic<uint8_t> bWMIEventTrackFinished{0};
