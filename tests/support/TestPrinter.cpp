#include "support/TestPrinter.h"

#include <vector>

namespace {

// A generic Level 3 colour printer, letter and A4, 300 dpi.
const char kPpd[] =
    "*PPD-Adobe: \"4.3\"\n"
    "*FormatVersion: \"4.3\"\n"
    "*FileVersion: \"1.0\"\n"
    "*LanguageVersion: English\n"
    "*LanguageEncoding: ISOLatin1\n"
    "*PCFileName: \"ORVEXTST.PPD\"\n"
    "*Manufacturer: \"Generic\"\n"
    "*Product: \"(Generic PostScript)\"\n"
    "*ModelName: \"Orvex Test PostScript\"\n"
    "*ShortNickName: \"Orvex Test PostScript\"\n"
    "*NickName: \"Orvex Test PostScript\"\n"
    "*PSVersion: \"(3010.000) 0\"\n"
    "*LanguageLevel: \"3\"\n"
    "*ColorDevice: True\n"
    "*DefaultColorSpace: RGB\n"
    "*FileSystem: False\n"
    "*Throughput: \"1\"\n"
    "*LandscapeOrientation: Plus90\n"
    "*TTRasterizer: Type42\n"
    "*DefaultResolution: 300dpi\n"
    "*OpenUI *PageSize/Media Size: PickOne\n"
    "*OrderDependency: 10 AnySetup *PageSize\n"
    "*DefaultPageSize: Letter\n"
    "*PageSize Letter/US Letter: \"<</PageSize[612 792]/ImagingBBox null>>setpagedevice\"\n"
    "*PageSize A4/A4: \"<</PageSize[595 842]/ImagingBBox null>>setpagedevice\"\n"
    "*CloseUI: *PageSize\n"
    "*OpenUI *PageRegion: PickOne\n"
    "*OrderDependency: 10 AnySetup *PageRegion\n"
    "*DefaultPageRegion: Letter\n"
    "*PageRegion Letter/US Letter: \"<</PageSize[612 792]/ImagingBBox null>>setpagedevice\"\n"
    "*PageRegion A4/A4: \"<</PageSize[595 842]/ImagingBBox null>>setpagedevice\"\n"
    "*CloseUI: *PageRegion\n"
    "*DefaultImageableArea: Letter\n"
    "*ImageableArea Letter/US Letter: \"18 36 594 756\"\n"
    "*ImageableArea A4/A4: \"18 36 577 806\"\n"
    "*DefaultPaperDimension: Letter\n"
    "*PaperDimension Letter/US Letter: \"612 792\"\n"
    "*PaperDimension A4/A4: \"595 842\"\n"
    "*DefaultFont: Courier\n"
    "*Font Courier: Standard \"(001.004)\" Standard ROM\n";

constexpr char kDriverName[] = "Wine PostScript Driver";
constexpr char kPpdName[] = "orvextst.ppd";

bool WritePpd() {
    char folder[MAX_PATH] = {};
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryA(nullptr, nullptr, 1, reinterpret_cast<BYTE*>(folder), sizeof folder, &needed))
        return false;
    std::string path = std::string(folder) + "\\" + kPpdName;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(file, kPpd, sizeof kPpd - 1, &written, nullptr) && written == sizeof kPpd - 1;
    CloseHandle(file);
    return ok;
}

bool PrinterExists() {
    HANDLE printer = nullptr;
    char name[sizeof kTestPrinterName];
    lstrcpyA(name, kTestPrinterName);
    if (!OpenPrinterA(name, &printer, nullptr)) return false;
    ClosePrinter(printer);
    return true;
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
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    DWORD code = DWORD(-1);
    if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return int(code);
}
