// Standard input as the Linux room reads it: the one-shot lists and the
// session's requests alike.
#pragma once

#include <cstddef>

namespace vantle_native::linux_room {

// How much standard input is asked for at a time: few system calls for a
// long list, little held for a short request.
inline constexpr std::size_t input_chunk_bytes = std::size_t{64} * 1024;

}  // namespace vantle_native::linux_room
