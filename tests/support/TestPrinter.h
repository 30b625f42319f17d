#pragma once
// A PostScript printer on FILE: in the test prefix (Wine has none until one is added), made the default printer.
#include <windows.h>
#include <winspool.h>

#include <string>

constexpr char kTestPrinterName[] = "Orvex Test PostScript";

// False when Wine would not take the driver or the printer.
bool EnsureTestPrinter();

// Runs a program of the host system (ghostscript) and waits for it; its exit
// code, or -1 when no process came back (Wine starts host programs that way).
int RunHostProgram(const std::string& commandLine, DWORD timeoutMs);
