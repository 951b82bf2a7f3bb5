#include "app/StatusText.h"

namespace kv7 {

namespace {

#define KV7_STATUS_TEXTS(X)                                   \
    X("Not connected")                                        \
    X("Opening port, please wait...")                         \
    X("Connecting...")                                        \
    X("Connection established.")                              \
    X("Connection closed")                                    \
    X("Testing without using COM port.")                      \
    X("Error: Cannot open port.")                             \
    X("Error: Cannot connect to device.")                     \
    X("Error: Cannot connect: Unknown device")                \
    X("Error: Not supported device")                          \
    X("Error: Communication error")                           \
    X("Error: Already connected")                             \
    X("Error: Not connected yet")                             \
    X("Ready")                                                \
    X("Manual movement")                                      \
    X("Positioning")                                          \
    X("Encoder calibration parameters updated.")              \
    X("Parameters stored...")                                 \
    X("Error: Connection lost.")                              \
    X("Error: Port in use by another program.")               \
    X("Error: Port closed before every command was sent.")    \
    X("Error: No reply from the controller.")                 \
    X("Error: Parameters not stored.")                        \
    X("Error: Busy positioning; wait for Ready.")             \
    X("Synchronised to the target.")                          \
    X("Synchronised to the encoders.")                        \
    X("Error: No fresh encoder reading; read the encoders first.") \
    X("Meridian flip to the east side under way...")               \
    X("Meridian flip to the west side under way...")               \
    X("Reference position set: east side of the pier.")           \
    X("Reference position set: west side of the pier.")

#define KV7_NARROW(text) text,
#define KV7_WIDE(text) L"" text,
const char* const narrowTexts[statusCount] = {KV7_STATUS_TEXTS(KV7_NARROW)};
const wchar_t* const wideTexts[statusCount] = {KV7_STATUS_TEXTS(KV7_WIDE)};
#undef KV7_NARROW
#undef KV7_WIDE

}  // namespace

const char* statusText(std::uint32_t status) { return status < statusCount ? narrowTexts[status] : nullptr; }

const wchar_t* statusTextWide(std::uint32_t status) { return status < statusCount ? wideTexts[status] : nullptr; }

bool isErrorStatus(std::uint32_t status)
{
    const char* text = statusText(status);
    return text && text[0] == 'E' && text[1] == 'r';
}

}  // namespace kv7
