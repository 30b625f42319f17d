#pragma once
// A printer DC from the print dialog, used as it is.
#include "print/PrintDevice.h"

class SpoolerDevice final : public PrintDevice {
public:
    explicit SpoolerDevice(HDC dc) : dc_(dc) {}

    int StartDocument(const DOCINFOW* info) override;
    void StartPage() override;
    void EndPage() override;
    void EndDocument() override;
    void AbortDocument() override;
    double Caps(int index) override;
    HDC Dc() override { return dc_; }

private:
    HDC dc_;
};
