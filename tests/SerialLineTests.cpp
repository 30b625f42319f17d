// The serial line through Wine's COM port: the far end of a pseudo-terminal
// pair stands in for the camera. tests/serial-line.sh makes the pair, points
// COM5 at one end and names the other in ORVEX_SERIAL_PEER.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "SerialLine.h"

namespace {

class SerialLineTest : public testing::Test {
protected:
    void SetUp() override {
        const char* peer = getenv("ORVEX_SERIAL_PEER");
        if (!peer) GTEST_SKIP() << "needs tests/serial-line.sh";
        camera_ = CreateFileA(peer, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(camera_, INVALID_HANDLE_VALUE);
        ASSERT_TRUE(line_.Open("COM5", 115200));
    }
    void TearDown() override {
        line_.Close();
        if (camera_ != INVALID_HANDLE_VALUE) CloseHandle(camera_);
    }
    void CameraSends(const std::string& text) {
        DWORD written = 0;
        WriteFile(camera_, text.data(), DWORD(text.size()), &written, nullptr);
    }
    std::string CameraReads(size_t size) {
        std::string text(size, '\0');
        DWORD got = 0, total = 0;
        while (total < size && ReadFile(camera_, &text[total], DWORD(size - total), &got, nullptr) && got) total += got;
        text.resize(total);
        return text;
    }

    HANDLE camera_ = INVALID_HANDLE_VALUE;
    SerialLine line_;
};

TEST_F(SerialLineTest, BytesCrossBothWaysAndSpeedsChange) {
    const uint8_t hello[] = {0x05, 0x00, 0xFF, 'h', 'i'};
    ASSERT_TRUE(line_.Write(hello, sizeof hello));
    EXPECT_EQ(CameraReads(5), std::string(reinterpret_cast<const char*>(hello), 5));
    CameraSends("camera");
    uint8_t got[6] = {};
    ASSERT_TRUE(line_.Read(got, sizeof got, 2000));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(got), 6), "camera");
    EXPECT_TRUE(line_.SetSpeed(57600));
    EXPECT_EQ(line_.Speed(), 57600);
}

TEST_F(SerialLineTest, ASilentCameraTimesOutAndACancelEndsTheWaitEarly) {
    uint8_t byte = 0;
    DWORD start = GetTickCount();
    EXPECT_FALSE(line_.Read(&byte, 1, 300));
    DWORD waited = GetTickCount() - start;
    EXPECT_GE(waited, 250u);
    EXPECT_LT(waited, 1500u);

    std::atomic<bool> cancel{false};
    std::thread user([&] {
        Sleep(200);
        cancel = true;
    });
    start = GetTickCount();
    EXPECT_FALSE(line_.Read(&byte, 1, 10000, [&] { return !cancel; }));
    user.join();
    EXPECT_LT(GetTickCount() - start, 1000u);  // well within a second of the cancel
}

}  // namespace
