// Runs one scan of the real program the way a user would, for the
// demonstration: plants the worm traces of the demonstration machine
// (DemoMachine.cpp), starts the program, presses "Skanuj", says yes to
// walking network drives, acknowledges the closing message, then prints the
// result log, the traces the scan left, and saves a picture of the dialog.
//
//   kc_demo.exe PROGRAM.exe SCREENSHOT.bmp
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "DemoMachine.h"
#include "ProgramDriver.h"
#include "TracePlanter.h"

namespace {

std::string Utf8(const std::wstring& s) {
    if (s.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n, nullptr, nullptr);
    return out;
}

void Print(const std::string& text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        Print("usage: kc_demo PROGRAM.exe SCREENSHOT.bmp\n");
        return 2;
    }
    try {
        CTracePlanter traces;
        for (const std::string& trace : PlantDemoTraces(traces)) Print("[ślad] " + trace + "\n");
        CProgramDriver program(argv[1]);
        program.Start();
        program.Click(kScanButton);
        program.WaitUntilScanning();
        const auto deadline = std::chrono::steady_clock::now() + CProgramDriver::kScanTimeout;
        for (;;) {
            if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error("the scan did not end in time");
            const auto boxes = program.MessageBoxes();
            for (const SMessageBox& box : boxes) {
                Print("[okno] " + Utf8(box.text) + "\n");
                const bool question = box.text.find(L"sieciowym") != std::wstring::npos;
                program.Answer(box, question ? IDYES : IDOK);
            }
            if (boxes.empty() && program.IsControlEnabled(kScanButton) &&
                program.ControlText(kExitButton) == L"Zakończ") {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        Print("--- dziennik wyników ---\n");
        for (const std::wstring& line : program.LogLines()) Print(Utf8(line) + "\n");
        Print("--- koniec ---\n");
        const std::vector<std::string> remaining = RemainingDemoTraces();
        for (const std::string& trace : remaining) Print("[pozostał] " + trace + "\n");
        if (remaining.empty()) Print("Wszystkie podłożone ślady zostały usunięte.\n");
        program.SaveScreenshot(argv[2]);
        program.ExitWithButton();
    } catch (const std::exception& e) {
        Print(std::string("demo failed: ") + e.what() + "\n");
        return 1;
    }
    return 0;
}
