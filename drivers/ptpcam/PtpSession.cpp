#include "PtpSession.h"

namespace ptp {
namespace {

constexpr size_t kMostHandles = 100000;
constexpr uint32_t kSessionId = 1;

}  // namespace

Status Session::Call(uint16_t code, const std::vector<uint32_t>& params, std::vector<uint8_t>* data, uint64_t maxData,
                     const DataProgress& progress) {
    Message response;
    if (data) data->clear();
    return transport_->Transact(code, nextTransaction_++, params, data, maxData, progress, response);
}

// The session's own transaction is number 0; a session left open by an earlier host is used as it is.
Status Session::Open() {
    Message response;
    Status status = transport_->Transact(kOpenSession, 0, {kSessionId}, nullptr, 0, nullptr, response);
    return status == Status::kRefused && response.code == kSessionAlreadyOpen ? Status::kOk : status;
}

Status Session::StorageIds(std::vector<uint32_t>& ids) {
    std::vector<uint8_t> data;
    Status status = Call(kGetStorageIds, {}, &data);
    if (status != Status::kOk) return status;
    Reader in(data.data(), data.size());
    ids = in.U32Array(kMostHandles);
    return in.Ok() ? Status::kOk : Status::kRefused;
}

Status Session::ObjectHandles(uint32_t storage, uint32_t parent, std::vector<uint32_t>& handles) {
    std::vector<uint8_t> data;
    Status status = Call(kGetObjectHandles, {storage, 0, parent}, &data);
    if (status != Status::kOk) return status;
    Reader in(data.data(), data.size());
    handles = in.U32Array(kMostHandles);
    return in.Ok() ? Status::kOk : Status::kRefused;
}

Status Session::GetObjectInfo(uint32_t handle, ObjectInfo& info) {
    std::vector<uint8_t> data;
    Status status = Call(kGetObjectInfo, {handle}, &data);
    if (status != Status::kOk) return status;
    return ParseObjectInfo(data.data(), data.size(), info) ? Status::kOk : Status::kRefused;
}

Status Session::Object(uint32_t handle, uint64_t size, std::vector<uint8_t>& bytes, const DataProgress& progress) {
    return Call(kGetObject, {handle}, &bytes, size + (size >> 4) + 65536, progress);
}

Status Session::PartialObject(uint32_t handle, uint32_t offset, uint32_t maxBytes, std::vector<uint8_t>& bytes,
                              const DataProgress& progress) {
    Status status = Call(kGetPartialObject, {handle, offset, maxBytes}, &bytes, maxBytes, progress);
    if (status == Status::kOk && bytes.size() > maxBytes) bytes.resize(maxBytes);
    return status;
}

Status Session::Thumb(uint32_t handle, std::vector<uint8_t>& bytes, const DataProgress& progress) {
    return Call(kGetThumb, {handle}, &bytes, kLargestDataset, progress);
}

Status Session::DeleteObject(uint32_t handle) { return Call(kDeleteObject, {handle, 0}); }

}  // namespace ptp
