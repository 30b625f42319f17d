#pragma once
// The camera's serial protocol over one line: a wake-up byte, host command
// packets (0x1b, type, length, payload, 16-bit sum) answered by ACK, NAK
// (send again) or 0x11 (refused), and camera data packets (0x02 more /
// 0x03 last, sequence, length, payload, sum) that the host answers one by one
// with ACK or NAK. Values live in numbered registers; strings carry texts and
// picture bytes.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "SerialLine.h"

class SierraLink {
public:
    // Registers and actions the driver uses.
    enum Register : uint8_t {
        kCurrentPicture = 4, kPictureCount = 10, kPictureSize = 12, kThumbnailSize = 13, kPictureData = 14,
        kThumbnailData = 15, kBattery = 16, kLineSpeed = 17, kPictureName = 79, kSubfolderCount = 83,
        kFolder = 84,
    };
    enum Action : uint8_t { kDeleteAll = 1, kEndSession = 4, kDeletePicture = 7 };
    // Bytes received so far of a string being read; false asks to stop.
    using Progress = std::function<bool(size_t received)>;
    // Bytes of the packet being read so far; false asks to stop.
    using Tick = std::function<bool(size_t inPacket)>;

    // Opens `port` at the camera's power-on speed, wakes the camera and
    // raises the speed to at most `speed`.
    bool Start(const std::string& port, int speed);
    void Stop();
    // Closes the line without telling the camera (it no longer answers).
    void Abandon() { line_.Close(); }
    bool IsStarted() const { return line_.IsOpen(); }
    // After a cancel or a lost packet: wake the camera again at its power-on
    // speed and raise the speed once more.
    bool Resync();

    bool SetInt(uint8_t reg, uint32_t value);
    bool GetInt(uint8_t reg, uint32_t& value);
    bool SetString(uint8_t reg, const std::string& text);
    // `cancelled` is set when the progress answer stopped the read.
    bool GetString(uint8_t reg, std::vector<uint8_t>& data, const Progress& progress = nullptr,
                   bool* cancelled = nullptr);
    bool DoAction(uint8_t action);

    int Speed() const { return line_.Speed(); }

private:
    bool WakeUp();
    bool RaiseSpeed();
    bool SendCommand(const std::vector<uint8_t>& payload, uint8_t* first = nullptr);
    // `first`: the packet's first byte when already read, else 0.
    bool ReadPacket(uint8_t first, std::vector<uint8_t>& payload, bool& last, const Tick& tick, bool& stopped);

    SerialLine line_;
    std::string port_;
    int wantedSpeed_ = 19200;
};
