#include "support/TestPrinter.h"

#include <string>

namespace {

constexpr char kDriverName[] = "Wine PostScript Driver";
constexpr char kPpdName[] = "orvextst.ppd";

// A generic Level 3 colour printer, letter and A4, 300 dpi (tests/support/orvextst.ppd).
bool WritePpd() {
    char folder[MAX_PATH] = {};
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryA(nullptr, nullptr, 1, reinterpret_cast<BYTE*>(folder), sizeof folder, &needed))
        return false;
    std::string source = std::string("Z:") + ORVEX_SOURCE_DIR + "/tests/support/" + kPpdName;
    return CopyFileA(source.c_str(), (std::string(folder) + "\\" + kPpdName).c_str(), FALSE);
}

bool PrinterExists() {
    HANDLE printer = nullptr;
    return OpenPrinterA(const_cast<char*>(kTestPrinterName), &printer, nullptr) && ClosePrinter(printer);
}

}  // namespace

bool EnsureTestPrinter() {
    if (!PrinterExists()) {
        if (!WritePpd()) return false;
        DRIVER_INFO_3A driver = {};
        driver.cVersion = 3;
        driver.pName = const_cast<char*>(kDriverName);
        driver.pDriverPath = const_cast<char*>("wineps.drv");
        driver.pDataFile = const_cast<char*>(kPpdName);
        driver.pConfigFile = const_cast<char*>("wineps.drv");
        AddPrinterDriverA(nullptr, 3, reinterpret_cast<BYTE*>(&driver));  // may be there already
        PRINTER_INFO_2A info = {};
        info.pPrinterName = const_cast<char*>(kTestPrinterName);
        info.pPortName = const_cast<char*>("FILE:");
        info.pDriverName = const_cast<char*>(kDriverName);
        info.pPrintProcessor = const_cast<char*>("WinPrint");
        info.pDatatype = const_cast<char*>("RAW");
        info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
        HANDLE printer = AddPrinterA(nullptr, 2, reinterpret_cast<BYTE*>(&info));
        if (!printer) return false;
        ClosePrinter(printer);
    }
    return SetDefaultPrinterA(kTestPrinterName) != FALSE;
}

int RunHostProgram(const std::string& commandLine, DWORD timeoutMs) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::string line = commandLine;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    DWORD code = DWORD(-1);
    if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess), CloseHandle(process.hThread);
    return int(code);
}
