// The recording tool's window: its names beyond the shared contract, its control
// identifiers, and the texts its label shows.
#pragma once

#include <windows.h>

#include "bridge_contract.h"
#include "recorder_contract.h"
#include "stand_in_tool.h"

#define RECORDER_WINDOW_CLASS "LUMARO_VideoToolWindow"
// The window's size at 96 DPI. The tool declares per-monitor DPI awareness (its
// manifest), so the system no longer enlarges it on a scaled display: it scales its
// window, layout and font to its monitor's DPI itself.
#define RECORDER_WINDOW_WIDTH 440
#define RECORDER_WINDOW_HEIGHT 190
// Names tried per second before giving up; each later one carries a suffix.
#define MAX_NAME_ATTEMPTS 1000

#define ID_PLAY 101
#define ID_STOP 102
#define ID_LEFT 103
#define ID_TOP 104
#define ID_WIDTH 105
#define ID_HEIGHT 106
#define ID_STATUS 107

#define WM_RECORDING_NOTICE (WM_APP + 1)
#define STATUS_TIMER 1
#define STATUS_INTERVAL_MS 250

#define STATUS_IDLE "Idle"
#define STATUS_NOT_RECORDING LOG_NOT_RECORDING "nothing to stop"
#define STATUS_TEXT_SIZE 512
#define FIELD_TEXT_SIZE 64
