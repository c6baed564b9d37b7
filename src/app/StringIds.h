// Ids of the string table (res/strings.inc). Only the ones the code names
// directly are listed; the result-log lines of the cleaners use theirs.
#pragma once

#include <cstdint>

enum StringId : std::uint32_t {
    IDS_SCRIPT_HOST_STOPPED = 1,
    IDS_LOGON_KEY_CHECKED = 2,
    IDS_VIRUS_MODULE_STOPPED = 3,
    IDS_FILE_DELETED = 4,
    IDS_REGISTRY_KEY_RESTORED = 5,
    IDS_VIRUS_KEY_DELETED = 6,
    IDS_VIRUS_FILE_DELETED = 7,
    IDS_VIRUS_RUN_VALUE_DELETED = 8,
    IDS_VIRUS_FILE = 9,
    IDS_DELETED_AT_RESTART = 11,
    IDS_INFECTED_FILE = 12,
    IDS_VIRUS_LIBRARY_DELETED = 13,
    IDS_MODULE = 14,
    IDS_MODULE_STOPPED = 15,
    IDS_RUN_FULL_PRODUCT = 16,
    IDS_GUARD_IS_ON = 17,
    IDS_STARTUP_GUARD = 18,
    IDS_STARTUP_RESTORE_1 = 20,
    IDS_STARTUP_RESTORE_2 = 21,
    IDS_STARTUP_SVI_1 = 22,
    IDS_STARTUP_SVI_2 = 23,
    IDS_STARTUP_SVI_3 = 24,
    IDS_WEB_ADDRESS = 25,
    IDS_WEB_TOOLTIP = 26,
    IDS_MAIL_TEXT = 27,
    IDS_MAIL_TARGET = 28,
    IDS_MAIL_TOOLTIP = 29,
    IDS_INFO_TOOLTIP = 30,
    IDS_SCAN_TOOLTIP = 31,
    IDS_ABORT = 32,
    IDS_EXIT = 33,
    IDS_STAGE_TEMP_FILES = 34,
    IDS_STAGE_REGISTRY = 35,
    IDS_STAGE_REGISTRY_DONE = 36,
    IDS_STAGE_MEMORY = 37,
    IDS_STAGE_MEMORY_DONE = 38,
    IDS_STAGE_DISKS = 39,
    IDS_STAGE_DISKS_DONE = 40,
    IDS_STAGE_DISKS_ABORTED = 41,
    IDS_REPAIRED = 42,
    IDS_REMOVED_FROM_MEMORY = 43,
    IDS_NETWORK_DRIVE_QUESTION = 47,
};

// The product's name: dialog caption, message-box captions.
inline constexpr const char* kProductTitle = "Czyściciel KESTRO";

// The texts of the string table compiled into the program, for backends that
// have no resource section to load them from. Empty for an unknown id.
const char* BuiltInString(std::uint32_t id);
