// Diagnostic records of the clipboard module. Nothing in the program raises
// max_level from 0, so no record is ever built in a run; the emitting code
// tests the level first so that a record that is not admitted costs nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantle_native {

using DiagnosticLevel = std::uint32_t;

inline constexpr DiagnosticLevel level_error = 1;

// The highest level admitted; 0 admits nothing.
inline DiagnosticLevel max_level = 0;

[[nodiscard]] inline bool admits(DiagnosticLevel level) { return level <= max_level; }

// The static part of a record, one per emitting statement.
struct RecordLocation {
    std::string_view target;
    std::string_view module_path;
    std::string_view file;
    std::uint32_t line;
};

struct DiagnosticRecord {
    DiagnosticLevel level;
    std::string_view target;
    std::string message;
    std::optional<std::string_view> module_path;
    std::optional<std::string_view> file;
    std::optional<std::uint32_t> line;
};

// Builds the record from `prefix` and `argument` and hands it to the receiver.
// The caller has already made the level test.
void emit_record(DiagnosticLevel level, std::string_view prefix, std::string_view argument,
                 const RecordLocation& location);

// Where records go. The program installs no receiver: its definition drops
// every record. The unit tests link one that keeps them.
void receive_record(const DiagnosticRecord& record);

}  // namespace vantle_native
