#include "win/message_window.h"

#include <utility>

namespace vantle_native::win {
namespace {

constexpr platform::WideLiteral static_class("STATIC");
constexpr platform::WideLiteral no_title("");

}  // namespace

std::optional<MessageWindow> MessageWindow::create() {
    const HWND created = CreateWindowExW(0, static_class.c_str(), no_title.c_str(), 0, 0, 0, 0, 0, HWND_MESSAGE,
                                         nullptr, nullptr, nullptr);
    if (created == nullptr) return std::nullopt;
    return MessageWindow(created);
}

MessageWindow::MessageWindow(MessageWindow&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

MessageWindow::~MessageWindow() {
    if (handle_ != nullptr) (void)DestroyWindow(handle_);
}

}  // namespace vantle_native::win
