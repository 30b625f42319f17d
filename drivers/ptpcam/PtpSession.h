#pragma once
// A PTP session with a camera over any transport: the operations a host needs
// to list, read and delete pictures. Not thread-safe: its owner serialises use.
#include <memory>
#include <string>
#include <vector>

#include "PtpTransport.h"

namespace ptp {

class Session {
public:
    explicit Session(std::unique_ptr<Transport> transport) : transport_(std::move(transport)) {}
    Status Open();

    Status StorageIds(std::vector<uint32_t>& ids);
    Status ObjectHandles(uint32_t storage, uint32_t parent, std::vector<uint32_t>& handles);
    Status GetObjectInfo(uint32_t handle, ObjectInfo& info);
    // A whole object of about `size` bytes (the camera's ObjectInfo): much more breaks the link.
    Status Object(uint32_t handle, uint64_t size, std::vector<uint8_t>& bytes, const DataProgress& progress);
    Status PartialObject(uint32_t handle, uint32_t offset, uint32_t maxBytes, std::vector<uint8_t>& bytes,
                         const DataProgress& progress = nullptr);
    Status Thumb(uint32_t handle, std::vector<uint8_t>& bytes, const DataProgress& progress = nullptr);
    Status DeleteObject(uint32_t handle);

    Transport& Link() { return *transport_; }

private:
    Status Call(uint16_t code, const std::vector<uint32_t>& params, std::vector<uint8_t>* data = nullptr,
                uint64_t maxData = kLargestDataset, const DataProgress& progress = nullptr);

    static constexpr uint64_t kLargestDataset = 4 << 20;  // handle lists, object infos, thumbnails

    std::unique_ptr<Transport> transport_;
    uint32_t nextTransaction_ = 1;
};

}  // namespace ptp
