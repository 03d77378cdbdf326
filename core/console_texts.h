// The console's fixed texts, each once: the product's wording, which the
// device's owners and its documentation know, typos and odd spacing
// included ("audiol", "fit file", "Error:Does"). Never correct them.
//
// Each is a printf format; the program prints them with consoleSay
// (core/console.h). The banner is the target profile's own. The owners'
// guide explains every text of this table, and the guide's test reads it
// from here.
#pragma once

#include <cstddef>
#include <cstdint>

enum class Say : uint8_t {
    // The kit.
    KitNotFound,
    KitPrefixWrong,
    KitOpen,
    KitError,
    // The device and its ports.
    NoDevice,
    TooManyDevices,
    InDevice,
    OutDevice,
    InMissing,
    OutMissing,
    SequencerFails,
    // Identifying the target.
    TargetResetting,
    TargetNotMatched,
    NotResponding,
    // The transfer.
    Progress,
    Damaged,
    VerifyError,
    EraseError,
    CrcError,
    UpdateError,
    ProgressDone,
    Updated,
    Restarting,
    // The end: the platform's press-any-key prompt where no command
    // interpreter prints its own.
    PressAnyKey,
};

struct ConsoleText {
    Say name;
    const char* format;
};

inline constexpr ConsoleText CONSOLE_TEXTS[] = {
    {Say::KitNotFound, "Error: File '%s' is not found.\n\n"},
    {Say::KitPrefixWrong, "Error: The fit file is not found.\n\n"},
    {Say::KitOpen, "OK: File '%s' is open.\n"},
    {Say::KitError, "Error: The upgrade file is error!\n\n"},

    {Say::NoDevice, "Error: Did not find the USB Audio device, please check!\n\n"},
    {Say::TooManyDevices,
     "Error:Does your computer have identified %d USB audiol devices, Please remove the other USB audiol devices!\n\n"},
    {Say::InDevice, "MIDI IN DEVICE: %s\r\n"},
    {Say::OutDevice, "MIDI OUT DEVICE: %s\r\n"},
    {Say::InMissing, "Error: The MIDI In of device is missing!\n\n"},
    // Printed after a line break where a transfer's progress line stands.
    {Say::OutMissing, "Error: The MIDI Out of device is missing!\n\n"},
    {Say::SequencerFails, "Error: The MIDI sequencer /dev/snd/seq cannot be opened: %s\n"},

    {Say::TargetResetting, "Please wait the system reset and retry again!\n\n"},
    {Say::TargetNotMatched, "Error: The device and the upgrade file is not matched!\n\n"},
    {Say::NotResponding, "\nFailed: Target is not responding.\n\n"},

    // A progress line: the spinner's shape and the percentage.
    {Say::Progress, "\r                        \rTransferring.. %c %d%% done"},
    {Say::Damaged, "\nThe download file has been damaged!\n"},
    {Say::VerifyError, "\nThe download file verifies error!\n"},
    {Say::EraseError, "\nThe MCU erases error!\n"},
    {Say::CrcError, "\nThe CRC of the download file is error!\n"},
    {Say::UpdateError, "\nError in updating.\n"},
    {Say::ProgressDone, "\rTransferring.. 100%% done.  \n"},
    // Followed by an empty line, or by the restart's text.
    {Say::Updated, "Target update successfully!\n"},
    {Say::Restarting, "\nThe System is restart, please wait!\n\n"},

    {Say::PressAnyKey, "Press any key to continue . . . "},
};

inline constexpr size_t CONSOLE_TEXT_COUNT = sizeof CONSOLE_TEXTS / sizeof CONSOLE_TEXTS[0];

// The format of a text.
constexpr const char* textFormat(Say name) { return CONSOLE_TEXTS[static_cast<size_t>(name)].format; }

// Every text has its row, at the place of its name.
constexpr bool rowsInOrder() {
    for (size_t i = 0; i < CONSOLE_TEXT_COUNT; ++i)
        if (static_cast<size_t>(CONSOLE_TEXTS[i].name) != i) return false;
    return static_cast<size_t>(Say::PressAnyKey) + 1 == CONSOLE_TEXT_COUNT;
}
static_assert(rowsInOrder(), "CONSOLE_TEXTS has one row per Say, in its order");
