#include "app/ConsoleReport.h"

#include <array>
#include <cstdio>

#include "sys/Text.h"

namespace {

struct KindName {
    ActionKind kind;
    const char* name;
};

// Every kind, in the order the report lists their counts.
constexpr KindName kKindNames[] = {
    {ActionKind::ProcessStopped, "processStopped"},
    {ActionKind::FileDeleted, "fileDeleted"},
    {ActionKind::FileDeleteScheduled, "fileDeleteScheduled"},
    {ActionKind::FileRepaired, "fileRepaired"},
    {ActionKind::RegistryValueDeleted, "registryValueDeleted"},
    {ActionKind::RegistryValueRestored, "registryValueRestored"},
    {ActionKind::RegistryKeyDeleted, "registryKeyDeleted"},
    {ActionKind::IniEntryRestored, "iniEntryRestored"},
    {ActionKind::InfectedFileReported, "infectedFileReported"},
};

const char* KindNameOf(ActionKind kind) {
    for (const KindName& k : kKindNames)
        if (k.kind == kind) return k.name;
    return "unknown";
}

const char* OutcomeName(ScanOutcome outcome) {
    switch (outcome) {
        case ScanOutcome::Complete: return "complete";
        case ScanOutcome::Interrupted: return "interrupted";
        case ScanOutcome::GuardOn: return "guard-on";
        case ScanOutcome::NotStarted: return "not-started";
    }
    return "unknown";
}

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// The length of the valid UTF-8 sequence at text[i], or 0 when the byte
// there starts none (overlong forms and surrogates are not valid).
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // overlong below U+0800
        if (lead == 0xED) high = 0x9F;  // U+D800..U+DFFF are no characters
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // overlong below U+10000
        if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
    } else {
        return 0;
    }
    if (text.size() - i < length) return 0;
    if (byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k)
        if (!IsContinuation(byte(i + k))) return 0;
    return length;
}

void AppendField(std::string& out, const char* name) {
    AppendJsonString(out, name);
    out += ": ";
}

void AppendStringOrNull(std::string& out, const std::string& text) {
    if (text.empty()) {
        out += "null";
    } else {
        AppendJsonString(out, text);
    }
}

// Days since 1970-01-01 to a civil date (proleptic Gregorian calendar).
void CivilFromDays(std::int64_t days, std::int64_t& year, unsigned& month, unsigned& day) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
}

}  // namespace

int ExitCodeOfFindings(const std::vector<Finding>& findings) {
    if (findings.empty()) return kExitNothingFound;
    for (const Finding& f : findings) {
        if (!f.succeeded || f.kind == ActionKind::FileDeleteScheduled) return kExitWorkLeft;
    }
    return kExitFound;
}

std::string DriveReason(DriveAction action) {
    switch (action) {
        case DriveAction::Walked: return "";
        case DriveAction::SkippedCdrom: return "cdrom";
        case DriveAction::SkippedNetwork: return "network";
        case DriveAction::SkippedNotSelected: return "not-selected";
        case DriveAction::SkippedAborted: return "interrupted";
    }
    return "unknown";
}

void AppendJsonString(std::string& out, std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
    out += '"';
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            switch (c) {
                case '"': out += "\\\""; break;
                case '\\': out += "\\\\"; break;
                case '\b': out += "\\b"; break;
                case '\f': out += "\\f"; break;
                case '\n': out += "\\n"; break;
                case '\r': out += "\\r"; break;
                case '\t': out += "\\t"; break;
                default:
                    if (c < 0x20) {
                        out += "\\u00";
                        out += kHex[c >> 4];
                        out += kHex[c & 0xF];
                    } else {
                        out += static_cast<char>(c);
                    }
            }
            ++i;
            continue;
        }
        const std::size_t length = Utf8SequenceLength(text, i);
        if (length == 0) {
            AppendUtf8(out, 0xFFFD);
            ++i;
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
    }
    out += '"';
}

std::string FormatUtcTimestamp(std::int64_t secondsSinceEpoch) {
    std::int64_t days = secondsSinceEpoch / 86400;
    std::int64_t rest = secondsSinceEpoch % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    std::int64_t year = 0;
    unsigned month = 0;
    unsigned day = 0;
    CivilFromDays(days, year, month, day);
    char text[40];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02u:%02u:%02uZ", static_cast<long long>(year), month, day,
                  static_cast<unsigned>(rest / 3600), static_cast<unsigned>(rest / 60 % 60),
                  static_cast<unsigned>(rest % 60));
    return text;
}

std::string FormatConsoleReport(const ConsoleReport& report) {
    std::string out = "{\n";
    const auto field = [&](const char* name) {
        out += "  ";
        AppendField(out, name);
    };
    field("program");
    AppendJsonString(out, "kestro-cleaner-cli");
    out += ",\n";
    field("version");
    AppendJsonString(out, report.version);
    out += ",\n";
    field("started");
    AppendJsonString(out, FormatUtcTimestamp(report.startTime));
    out += ",\n";
    field("finished");
    AppendJsonString(out, FormatUtcTimestamp(report.endTime));
    out += ",\n";
    field("platform");
    AppendJsonString(out, report.bWinNT ? "NT" : "9x");
    out += ",\n";
    field("scan");
    AppendJsonString(out, OutcomeName(report.outcome));
    out += ",\n";
    field("exitCode");
    out += std::to_string(report.exitCode) + ",\n";

    field("drives");
    out += "{\n    ";
    AppendField(out, "walked");
    out += "[";
    bool first = true;
    for (const DriveRecord& d : report.drives) {
        if (!d.reason.empty()) continue;
        if (!first) out += ", ";
        first = false;
        AppendJsonString(out, d.drive);
    }
    out += "],\n    ";
    AppendField(out, "skipped");
    out += "[";
    first = true;
    for (const DriveRecord& d : report.drives) {
        if (d.reason.empty()) continue;
        out += first ? "\n      {" : ",\n      {";
        first = false;
        AppendField(out, "drive");
        AppendJsonString(out, d.drive);
        out += ", ";
        AppendField(out, "reason");
        AppendJsonString(out, d.reason);
        out += "}";
    }
    out += first ? "]\n  },\n" : "\n    ]\n  },\n";

    field("counts");
    out += "{";
    first = true;
    for (const KindName& k : kKindNames) {
        std::array<int, 2> counts{};  // succeeded, failed
        for (const Finding& f : report.findings) {
            if (f.kind == k.kind) ++counts[f.succeeded ? 0 : 1];
        }
        out += first ? "\n    " : ",\n    ";
        first = false;
        AppendField(out, k.name);
        out += "{\"succeeded\": " + std::to_string(counts[0]) + ", \"failed\": " + std::to_string(counts[1]) + "}";
    }
    out += "\n  },\n";

    field("findings");
    out += "[";
    first = true;
    for (const Finding& f : report.findings) {
        out += first ? "\n    {" : ",\n    {";
        first = false;
        AppendField(out, "action");
        AppendJsonString(out, KindNameOf(f.kind));
        out += ", ";
        AppendField(out, "target");
        AppendJsonString(out, f.target);
        out += ", ";
        AppendField(out, "family");
        AppendStringOrNull(out, f.family);
        out += ", ";
        AppendField(out, "succeeded");
        out += f.succeeded ? "true" : "false";
        out += ", ";
        // A failed step has no line in the log.
        AppendField(out, "line");
        if (f.succeeded) {
            AppendJsonString(out, f.line);
        } else {
            out += "null";
        }
        out += "}";
    }
    out += first ? "]\n" : "\n  ]\n";
    out += "}\n";
    return out;
}
