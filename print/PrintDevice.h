#pragma once
// What the page composers print on: the document and page calls of a printer
// DC and its metrics. The spooler is the real one; tests record pages instead.
#include <windows.h>

class PrintDevice {
public:
    virtual ~PrintDevice() = default;

    // The job id; 0 or less when no document was started.
    virtual int StartDocument(const DOCINFOW* info) = 0;
    virtual void StartPage() = 0;
    virtual void EndPage() = 0;
    virtual void EndDocument() = 0;
    // Drops a started document without spooling anything.
    virtual void AbortDocument() = 0;
    // GetDeviceCaps of the printer.
    virtual double Caps(int index) = 0;
    // Where the current page is drawn.
    virtual HDC Dc() = 0;
};
