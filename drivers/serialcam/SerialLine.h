#pragma once
// One serial line to the camera: opened by port name, 8 data bits, no
// parity, one stop bit, no flow control. Reads wait at most a given time and
// give up early when the caller, asked while the line is silent, says stop.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class SerialLine {
public:
    SerialLine() = default;
    ~SerialLine() { Close(); }
    SerialLine(const SerialLine&) = delete;
    SerialLine& operator=(const SerialLine&) = delete;

    // `port` is "COM1" .. "COM9" (or any device name Windows opens).
    bool Open(const std::string& port, int speed);
    void Close();
    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    bool SetSpeed(int speed);
    int Speed() const { return speed_; }

    bool Write(const uint8_t* bytes, size_t size);
    bool Write(const std::vector<uint8_t>& bytes) { return Write(bytes.data(), bytes.size()); }
    // Answers, every read slice without bytes, whether to go on waiting.
    using KeepWaiting = std::function<bool()>;
    // Reads exactly `size` bytes within `timeoutMs`; false on timeout, error or stop.
    bool Read(uint8_t* bytes, size_t size, DWORD timeoutMs, const KeepWaiting& keepWaiting = nullptr);
    // Drops whatever the camera sent that nobody read.
    void Discard();

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    int speed_ = 0;
};
