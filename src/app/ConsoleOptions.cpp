#include "app/ConsoleOptions.h"

#include <algorithm>

#include "app/StringIds.h"
#include "app/Version.h"

namespace {

constexpr const char* kProgramName = "kestro-cleaner-cli";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trimmed(const std::string& s) {
    std::size_t first = 0;
    std::size_t last = s.size();
    while (first < last && IsBlank(s[first])) ++first;
    while (last > first && IsBlank(s[last - 1])) --last;
    return s.substr(first, last - first);
}

// "C", "c:", "C:\" all name drive C:; anything else names none.
bool DriveName(const std::string& text, std::string& drive) {
    const std::string t = Trimmed(text);
    if (t.empty() || t.size() > 3) return false;
    const char letter = t[0];
    const bool isLetter = (letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z');
    if (!isLetter) return false;
    if (t.size() >= 2 && t[1] != ':') return false;
    if (t.size() == 3 && t[2] != '\\') return false;
    drive = std::string(1, static_cast<char>(letter & ~0x20)) + ":";
    return true;
}

bool ParseDrives(const std::string& list, std::vector<std::string>& drives, std::string& error) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = list.find(',', start);
        const std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        std::string drive;
        if (!DriveName(item, drive)) {
            error = "Niepoprawna nazwa dysku w opcji --drives: \"" + item + "\"";
            return false;
        }
        if (std::find(drives.begin(), drives.end(), drive) == drives.end()) drives.push_back(drive);
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

}  // namespace

bool ParseConsoleOptions(const std::vector<std::string>& args, ConsoleOptions& options, std::string& error) {
    options = ConsoleOptions();
    bool drivesGiven = false;
    bool reportGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        // "--name=value" or "--name value".
        const std::size_t equals = arg.find('=');
        const std::string name = arg.compare(0, 2, "--") == 0 && equals != std::string::npos ? arg.substr(0, equals) : arg;
        const bool takesValue = name == "--drives" || name == "--report";
        if (takesValue) {
            std::string value;
            if (name.size() < arg.size()) {
                value = arg.substr(name.size() + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                error = "Opcja " + name + " wymaga wartości";
                return false;
            }
            bool& given = name == "--drives" ? drivesGiven : reportGiven;
            if (given) {
                error = "Opcja " + name + " została podana więcej niż raz";
                return false;
            }
            given = true;
            if (name == "--report") {
                if (value.empty()) {
                    error = "Opcja --report wymaga nazwy pliku";
                    return false;
                }
                options.reportPath = value;
            } else if (!ParseDrives(value, options.drives, error)) {
                return false;
            }
        } else if (arg == "--help" || arg == "-h" || arg == "/?" || arg == "-?") {
            options.bHelp = true;
        } else if (arg == "--network") {
            options.bNetwork = true;
        } else if (arg == "--start-full-scan") {
            options.bStartFullScan = true;
        } else if (arg.find("noguard") != std::string::npos) {
            // The dialog's word, case and all, also inside a longer word.
        } else if (!arg.empty() && (arg[0] == '-' || arg[0] == '/')) {
            error = "Nieznana opcja: " + arg;
            return false;
        } else {
            error = "Nieznany argument: " + arg;
            return false;
        }
    }
    return true;
}

std::string CommandLineArguments(const std::string& commandLine) {
    std::size_t i = 0;
    if (!commandLine.empty() && commandLine[0] == '"') {
        const std::size_t close = commandLine.find('"', 1);
        i = close == std::string::npos ? commandLine.size() : close + 1;
    }
    while (i < commandLine.size() && !IsBlank(commandLine[i])) ++i;
    while (i < commandLine.size() && IsBlank(commandLine[i])) ++i;
    return commandLine.substr(i);
}

std::vector<std::string> ConsoleHelpLines() {
    return {
        std::string(kProductTitle) + " " + ProgramVersion() + " - skanowanie bez okna dialogowego",
        "",
        std::string("Użycie: ") + kProgramName + " [opcje]",
        "",
        "Program sprawdza komputer tak jak przycisk 'Skanuj' i wypisuje każdy wiersz",
        "wyniku na standardowe wyjście. Pytania okna zastępują opcje:",
        "",
        "  --network          sprawdza także dyski sieciowe (bez tej opcji są pomijane)",
        "  --start-full-scan  po pełnym skanowaniu uruchamia program Tervix",
        "                     (bez tej opcji wypisuje tylko zalecenie)",
        "  --drives C:,D:     sprawdza tylko wymienione dyski; napędów CD-ROM nie",
        "                     sprawdza nigdy, a dysków sieciowych tylko z --network",
        "  --report PLIK      zapisuje po skanowaniu raport w formacie JSON",
        "  --help             wyświetla ten opis",
        "  noguard            skanuje mimo włączonego Strażnika TVX; jak w oknie",
        "                     programu działa to słowo w dowolnym miejscu wiersza poleceń",
        "",
        "Kod wyjścia:",
        "  0  nic nie znaleziono",
        "  1  coś znaleziono (i usunięto, naprawiono lub tylko wskazano)",
        "  2  skanowanie się nie odbyło lub nie dobiegło końca: włączony Strażnik TVX,",
        "     błędna opcja, przerwanie klawiszami Ctrl+C albo raport, którego nie",
        "     udało się zapisać",
        "  3  coś znaleziono, ale usunięcie lub przywrócenie nie powiodło się albo",
        "     czeka na ponowne uruchomienie komputera",
    };
}

std::string ConsoleHelpHint() { return std::string("Opis opcji: ") + kProgramName + " --help"; }
