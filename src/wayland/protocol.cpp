#include "wayland/protocol.h"

#include <wayland-client-protocol.h>

#include <array>
#include <string>

#include "ext-data-control-v1-client-protocol.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

namespace vantle_native::wayland {
namespace {

// The opcodes are the wlr protocol's; the ext protocol's are the same.
static_assert(ZWLR_DATA_CONTROL_MANAGER_V1_CREATE_DATA_SOURCE == EXT_DATA_CONTROL_MANAGER_V1_CREATE_DATA_SOURCE);
static_assert(ZWLR_DATA_CONTROL_MANAGER_V1_GET_DATA_DEVICE == EXT_DATA_CONTROL_MANAGER_V1_GET_DATA_DEVICE);
static_assert(ZWLR_DATA_CONTROL_MANAGER_V1_DESTROY == EXT_DATA_CONTROL_MANAGER_V1_DESTROY);
static_assert(ZWLR_DATA_CONTROL_DEVICE_V1_SET_SELECTION == EXT_DATA_CONTROL_DEVICE_V1_SET_SELECTION);
static_assert(ZWLR_DATA_CONTROL_DEVICE_V1_DESTROY == EXT_DATA_CONTROL_DEVICE_V1_DESTROY);
static_assert(ZWLR_DATA_CONTROL_SOURCE_V1_OFFER == EXT_DATA_CONTROL_SOURCE_V1_OFFER);
static_assert(ZWLR_DATA_CONTROL_SOURCE_V1_DESTROY == EXT_DATA_CONTROL_SOURCE_V1_DESTROY);
static_assert(ZWLR_DATA_CONTROL_OFFER_V1_RECEIVE == EXT_DATA_CONTROL_OFFER_V1_RECEIVE);
static_assert(ZWLR_DATA_CONTROL_OFFER_V1_DESTROY == EXT_DATA_CONTROL_OFFER_V1_DESTROY);
// The listeners are laid out as the generated ones of both.
static_assert(sizeof(DeviceListener) == sizeof(zwlr_data_control_device_v1_listener));
static_assert(sizeof(DeviceListener) == sizeof(ext_data_control_device_v1_listener));
static_assert(sizeof(SourceListener) == sizeof(zwlr_data_control_source_v1_listener));
static_assert(sizeof(SourceListener) == sizeof(ext_data_control_source_v1_listener));
static_assert(sizeof(OfferListener) == sizeof(zwlr_data_control_offer_v1_listener));
static_assert(sizeof(OfferListener) == sizeof(ext_data_control_offer_v1_listener));

// Version 2 of the wlr protocol adds the primary selection, which this
// program leaves alone; it is the version the compositors offer.
constexpr std::uint32_t wlr_version = 2;
constexpr std::uint32_t ext_version = 1;

const DataControl ext_protocol{"ext_data_control_manager_v1", ext_version, &ext_data_control_manager_v1_interface,
                               &ext_data_control_device_v1_interface, &ext_data_control_source_v1_interface,
                               &ext_data_control_offer_v1_interface};
const DataControl wlr_protocol{"zwlr_data_control_manager_v1", wlr_version, &zwlr_data_control_manager_v1_interface,
                               &zwlr_data_control_device_v1_interface, &zwlr_data_control_source_v1_interface,
                               &zwlr_data_control_offer_v1_interface};

std::uint32_t version_of(wl_proxy* proxy) { return wl_proxy_get_version(proxy); }

// The manager's destructor is its third request; every other object's is
// its second.
static_assert(ZWLR_DATA_CONTROL_DEVICE_V1_DESTROY == ZWLR_DATA_CONTROL_OFFER_V1_DESTROY);
static_assert(ZWLR_DATA_CONTROL_SOURCE_V1_DESTROY == ZWLR_DATA_CONTROL_OFFER_V1_DESTROY);
std::uint32_t opcode_of(Destructor destructor) {
    return destructor == Destructor::manager ? ZWLR_DATA_CONTROL_MANAGER_V1_DESTROY : ZWLR_DATA_CONTROL_OFFER_V1_DESTROY;
}

}  // namespace

const DataControl& ext_data_control() { return ext_protocol; }
const DataControl& wlr_data_control() { return wlr_protocol; }

wl_proxy* get_registry(wl_display* display) {
    auto* proxy = reinterpret_cast<wl_proxy*>(display);
    std::array<wl_argument, 1> arguments{};
    return wl_proxy_marshal_array_flags(proxy, WL_DISPLAY_GET_REGISTRY, &wl_registry_interface, version_of(proxy), 0,
                                        arguments.data());
}

wl_proxy* bind(wl_proxy* registry, std::uint32_t name, const wl_interface& interface, std::uint32_t version) {
    std::array<wl_argument, 4> arguments{};
    arguments[0].u = name;
    arguments[1].s = interface.name;
    arguments[2].u = version;
    return wl_proxy_marshal_array_flags(registry, WL_REGISTRY_BIND, &interface, version, 0, arguments.data());
}

wl_proxy* create_data_source(const DataControl& protocol, wl_proxy* manager) {
    std::array<wl_argument, 1> arguments{};
    return wl_proxy_marshal_array_flags(manager, ZWLR_DATA_CONTROL_MANAGER_V1_CREATE_DATA_SOURCE, protocol.source,
                                        version_of(manager), 0, arguments.data());
}

wl_proxy* get_data_device(const DataControl& protocol, wl_proxy* manager, wl_proxy* seat) {
    std::array<wl_argument, 2> arguments{};
    arguments[1].o = reinterpret_cast<wl_object*>(seat);
    return wl_proxy_marshal_array_flags(manager, ZWLR_DATA_CONTROL_MANAGER_V1_GET_DATA_DEVICE, protocol.device,
                                        version_of(manager), 0, arguments.data());
}

void offer_mime_type(wl_proxy* source, std::string_view mime_type) {
    const std::string name(mime_type);
    std::array<wl_argument, 1> arguments{};
    arguments[0].s = name.c_str();
    (void)wl_proxy_marshal_array_flags(source, ZWLR_DATA_CONTROL_SOURCE_V1_OFFER, nullptr, version_of(source), 0,
                                       arguments.data());
}

void set_selection(wl_proxy* device, wl_proxy* source) {
    std::array<wl_argument, 1> arguments{};
    arguments[0].o = reinterpret_cast<wl_object*>(source);
    (void)wl_proxy_marshal_array_flags(device, ZWLR_DATA_CONTROL_DEVICE_V1_SET_SELECTION, nullptr, version_of(device),
                                       0, arguments.data());
}

void receive(wl_proxy* offer, std::string_view mime_type, int fd) {
    const std::string name(mime_type);
    std::array<wl_argument, 2> arguments{};
    arguments[0].s = name.c_str();
    arguments[1].h = fd;
    (void)wl_proxy_marshal_array_flags(offer, ZWLR_DATA_CONTROL_OFFER_V1_RECEIVE, nullptr, version_of(offer), 0,
                                       arguments.data());
}

void destroy(wl_proxy* proxy, Destructor destructor) {
    if (destructor == Destructor::none) {
        wl_proxy_destroy(proxy);
        return;
    }
    std::array<wl_argument, 1> arguments{};
    (void)wl_proxy_marshal_array_flags(proxy, opcode_of(destructor), nullptr, version_of(proxy),
                                       WL_MARSHAL_FLAG_DESTROY, arguments.data());
}

}  // namespace vantle_native::wayland
