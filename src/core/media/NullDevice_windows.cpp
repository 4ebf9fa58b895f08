// SPDX-License-Identifier: GPL-3.0-or-later
// The media device of the Windows build: there is no playback backend there yet, so every open
// fails with a failure the device cannot describe (the player shows "未知的错误代号").

#include "media/MediaDevice.h"

namespace mv {

namespace {

class TNullDevice final : public IMediaDevice {
 public:
  std::uint32_t Open(const TOpenRequest&, bool, TNotifyFn) override { return kDevErrUnknown; }
  std::uint32_t Close(bool, TNotifyFn) override { return kDevErrNotOpen; }
  std::uint32_t Play(std::optional<std::int32_t>, std::optional<std::int32_t>, bool,
                     TNotifyFn) override {
    return kDevErrNotOpen;
  }
  std::uint32_t Stop(bool, TNotifyFn) override { return kDevErrNotOpen; }
  std::uint32_t SeekToStart() override { return kDevErrNotOpen; }
  std::uint16_t Id() const override { return 0; }
  TDeviceCaps Capabilities() const override { return {}; }
  std::int32_t Length() override { return 0; }
  std::int32_t Position() override { return 0; }
  TMPModes Mode() override { return mpNotReady; }
  bool ErrorText(std::uint32_t, std::string&) const override { return false; }
};

}  // namespace

std::unique_ptr<IMediaDevice> CreateMediaDevice(const TDeviceOptions&) {
  return std::make_unique<TNullDevice>();
}

}  // namespace mv
