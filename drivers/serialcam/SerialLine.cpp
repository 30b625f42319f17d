#include "SerialLine.h"

#include "common/DriverFiles.h"

namespace {

// Each ReadFile returns after this long without bytes, so that cancels and
// overall timeouts are looked at often.
constexpr DWORD kReadSliceMs = 50;

}  // namespace

bool SerialLine::Open(const std::string& port, int speed) {
    Close();
    std::wstring device = L"\\\\.\\" + driverfiles::Widen(port);
    handle_ = CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) return false;
    COMMTIMEOUTS timeouts = {};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = kReadSliceMs;
    timeouts.WriteTotalTimeoutConstant = 5000;
    if (!SetCommTimeouts(handle_, &timeouts) || !SetSpeed(speed)) {
        Close();
        return false;
    }
    Discard();
    return true;
}

void SerialLine::Close() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    speed_ = 0;
}

bool SerialLine::SetSpeed(int speed) {
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    if (!IsOpen() || !GetCommState(handle_, &dcb)) return false;
    dcb.BaudRate = DWORD(speed);
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fOutX = dcb.fInX = FALSE;
    if (!SetCommState(handle_, &dcb)) return false;
    speed_ = speed;
    return true;
}

bool SerialLine::Write(const uint8_t* bytes, size_t size) {
    while (IsOpen() && size > 0) {
        DWORD written = 0;
        if (!WriteFile(handle_, bytes, DWORD(size), &written, nullptr) || written == 0) return false;
        bytes += written;
        size -= written;
    }
    return size == 0;
}

bool SerialLine::Read(uint8_t* bytes, size_t size, DWORD timeoutMs, const KeepWaiting& keepWaiting) {
    DWORD start = GetTickCount();
    while (IsOpen() && size > 0) {
        DWORD got = 0;
        if (!ReadFile(handle_, bytes, DWORD(size), &got, nullptr)) return false;
        bytes += got;
        size -= got;
        if (size == 0 || got > 0) continue;
        if (GetTickCount() - start >= timeoutMs || (keepWaiting && !keepWaiting())) return false;
    }
    return size == 0;
}

void SerialLine::Discard() {
    if (IsOpen()) PurgeComm(handle_, PURGE_RXCLEAR | PURGE_TXCLEAR);
}
