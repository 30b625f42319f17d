#pragma once
// The contract of a camera driver library. A driver exports
//   CameraService* ExtCreateAccountService(const char* argument);
// and every object is called through the tables below, in this slot order.
// Drivers may come from other compilers, so the destroy slot is an ordinary
// virtual taking the delete flag (1 = free), not a C++ destructor.
// All text crossing these tables (names, paths, the create argument, the char
// fields of ImageInfo) is UTF-8. A name too long for its field is not handed
// out: a driver leaves such a picture or folder out rather than cut its name.
#include <windows.h>
#include <objidl.h>

#include <cstddef>
#include <cstdint>

class ThumbnailCell;
class CameraConnection;
class CameraImage;

// Progress callback handed to drivers: (code, value, text, context) -> go on.
// Codes: 0 start, 1 progress (value = percentage), 2 finished.
typedef BOOL (*ProgressCallback)(int code, int value, const char* text, void* context);

// Driver read results.
constexpr int kReadOk = 0;
constexpr int kReadCancelled = -2;

// Capability flags of GetCapabilities.
constexpr uint16_t kCanDeleteSingle = 0x0001;
constexpr uint16_t kCanDeleteAll = 0x0002;

// ImageInfo mask bits.
constexpr uint32_t kInfoName = 0x01;
constexpr uint32_t kInfoSize = 0x02;
constexpr uint32_t kInfoDate = 0x04;
constexpr uint32_t kInfoDimensions = 0x08;
constexpr uint32_t kInfoNoDimensions = 0x10;

#pragma pack(push, 4)
struct ImageInfo {
    uint32_t mask;
    char name[260];
    uint32_t fileSize;
    char captureDate[20];
    int32_t width;
    int32_t height;
};
#pragma pack(pop)
static_assert(sizeof(ImageInfo) == 296, "ImageInfo is a fixed 296-byte record");
static_assert(offsetof(ImageInfo, name) == 4, "ImageInfo layout");
static_assert(offsetof(ImageInfo, fileSize) == 264, "ImageInfo layout");
static_assert(offsetof(ImageInfo, captureDate) == 268, "ImageInfo layout");
static_assert(offsetof(ImageInfo, width) == 288, "ImageInfo layout");
static_assert(offsetof(ImageInfo, height) == 292, "ImageInfo layout");

class CameraService {
public:
    virtual void Destroy(int flags) = 0;
    virtual CameraConnection* OpenConnection(const char* connectionText) = 0;
    virtual bool Refresh() = 0;
    virtual unsigned GetFolderCount() = 0;
    virtual bool GetFolderName(unsigned index, char* buffer, int size = 256) = 0;

protected:
    ~CameraService() = default;
};

class CameraConnection {
public:
    virtual void Destroy(int flags) = 0;
    virtual void Reserved2() = 0;
    virtual void GetConnectionId(char* buffer, int size = 260) = 0;
    virtual int GetImageCount() = 0;
    virtual CameraImage* OpenImage(const char* name) = 0;
    virtual void Reserved6() = 0;
    virtual void GetImageName(char* buffer, int size, int index) = 0;
    virtual void Reserved8() = 0;
    virtual void DeleteImage(const char* name) = 0;
    virtual void DeleteAllImages() = 0;
    virtual int GetCaptionLineCount() = 0;
    virtual uint16_t GetCapabilities() = 0;
    // Negative when the camera can no longer be reached.
    virtual int CheckConnection() = 0;
    virtual int CanAcceptData(IDataObject* data) = 0;
    // The number of images taken; 0 or less: none.
    virtual int AcceptData(IDataObject* data, int reserved = -1) = 0;

protected:
    ~CameraConnection() = default;
};

class CameraImage {
public:
    virtual void Reserved1() = 0;
    virtual ThumbnailCell* GetCustomCell(int reserved = 0) = 0;
    virtual int ReadData(HGLOBAL* data, int fullImage, int* freeWhenDone, ProgressCallback cb,
                         void* cbContext) = 0;
    virtual bool GetInfo(ImageInfo* out) = 0;
    virtual void Reserved5() = 0;
    virtual int ReadToFile(char* path, int size, int fullImage, int* deleteWhenDone,
                           ProgressCallback cb, void* cbContext) = 0;
    virtual void Reserved7() = 0;
    virtual int NeedsProgress() = 0;
    virtual void QueryExtension(const GUID* iid, void** out) = 0;

protected:
    ~CameraImage() = default;
};

// A table is its slots alone, on i686 as on x86_64: module and drivers of one bitness agree on every call.
static_assert(sizeof(CameraService) == sizeof(void*) && sizeof(CameraConnection) == sizeof(void*) &&
                  sizeof(CameraImage) == sizeof(void*),
              "a driver table holds no data");

// The interface a driver's properties extension answers for CLSID_CameraExtension.
struct ICameraProperties : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE ShowProperties(HWND owner) = 0;
};

// What changed on a camera by itself while a folder of it is open: a new shot,
// a picture deleted on the camera. A driver that can tell exports
//   HRESULT ExtQueryConnectionExtension(CameraConnection* connection, const GUID* iid, void** out);
// which, asked for IID_ICameraWatch, gives this interface (its own reference;
// released before the connection is destroyed). Drivers without it need nothing.
struct ICameraWatch : public IUnknown {
    // Posts `message` to `window` from any thread whenever changes wait; a null window stops the posts.
    virtual HRESULT STDMETHODCALLTYPE Watch(HWND window, UINT message) = 0;
    // The oldest waiting change, S_OK: the picture's name (UTF-8) and whether it came (1) or went (0);
    // the connection's list already has it, or no longer has it. S_FALSE when none waits.
    virtual HRESULT STDMETHODCALLTYPE NextChange(char* name, int size, int* added) = 0;
};
// {7A3E91D2-5B2C-4E8F-9D61-2F0C8A4B7E13}
constexpr GUID IID_ICameraWatch = {0x7a3e91d2, 0x5b2c, 0x4e8f, {0x9d, 0x61, 0x2f, 0x0c, 0x8a, 0x4b, 0x7e, 0x13}};
typedef HRESULT (*QueryConnectionExtensionFunction)(CameraConnection* connection, const GUID* iid, void** out);
constexpr char kQueryConnectionExtensionExport[] = "ExtQueryConnectionExtension";

typedef CameraService* (*CreateServiceFunction)(const char* argument);
constexpr char kCreateServiceExport[] = "ExtCreateAccountService";
