// What install writes: the service entry's settings and the event source,
// and the event ids of the program's message table. Shared by the Win32
// installer and the tests.
//
// Constants and one pure function; safe from any thread.
//
//   char16_t image[TOVIX8_IMAGE_PATH_CHARS];
//   if (!formatServiceImagePath(image, TOVIX8_IMAGE_PATH_CHARS, modulePath)) return WN_ERROR_INSUFFICIENT_BUFFER;
#pragma once

#include <cstddef>
#include <cstdint>

// CreateServiceW arguments (Win32 values).
constexpr uint32_t TOVIX8_SERVICE_TYPE = 0x10;         // SERVICE_WIN32_OWN_PROCESS
constexpr uint32_t TOVIX8_SERVICE_START_TYPE = 2;      // SERVICE_AUTO_START
constexpr uint32_t TOVIX8_SERVICE_ERROR_CONTROL = 1;   // SERVICE_ERROR_NORMAL
inline constexpr char16_t TOVIX8_SERVICE_LOAD_ORDER_GROUP[] = u"PlugPlay";
// A multi-string: "eventlog", "PlugPlay", then the empty string that ends it.
inline constexpr char16_t TOVIX8_SERVICE_DEPENDENCIES[] = u"eventlog\0PlugPlay\0";
static_assert(sizeof TOVIX8_SERVICE_DEPENDENCIES / sizeof(char16_t) == 19);

// The image path: the program's full path in quotes, then the switch. An
// unquoted path with a space would let the system start another program
// ("C:\Program.exe" for "C:\Program Files\...") with the service's rights.
constexpr size_t TOVIX8_IMAGE_PATH_CHARS = 280;
inline constexpr char16_t TOVIX8_SERVICE_SWITCH[] = u"-service";
// Writes "\"<modulePath>\" -service"; false (and an empty text) when it
// does not fit in capacity characters with its terminator.
bool formatServiceImagePath(char16_t* out, size_t capacity, const char16_t* modulePath);

// The event source below HKEY_LOCAL_MACHINE.
inline constexpr char16_t TOVIX8_EVENT_LOG_KEY_FORMAT[] = u"SYSTEM\\CurrentControlSet\\Services\\EventLog\\%s";
inline constexpr char16_t TOVIX8_EVENT_SOURCE_KEY_FORMAT[] = u"SYSTEM\\CurrentControlSet\\Services\\EventLog\\%s\\%s";
inline constexpr char16_t TOVIX8_EVENT_LOG_NAME[] = u"Application";
constexpr size_t TOVIX8_EVENT_SOURCE_KEY_CHARS = 260;
inline constexpr char16_t TOVIX8_EVENT_MESSAGE_FILE_VALUE[] = u"EventMessageFile";
inline constexpr char16_t TOVIX8_EVENT_TYPES_SUPPORTED_VALUE[] = u"TypesSupported";
constexpr uint32_t TOVIX8_EVENT_TYPES_SUPPORTED = 7;

// The message table's ids (each message is "%1\r\n").
constexpr uint32_t TOVIX8_EVENT_ID_INFORMATION = 0x60070001;
constexpr uint32_t TOVIX8_EVENT_ID_WARNING = 0xA0070002;
constexpr uint32_t TOVIX8_EVENT_ID_ERROR = 0xE0070003;

// Polling of a stop: up to 50 status queries 100 ms apart.
constexpr uint32_t TOVIX8_STOP_POLLS = 50;
constexpr uint32_t TOVIX8_STOP_POLL_MS = 100;
