#include "session/session.h"

#include <utility>
#include <variant>

#include "runtime/stdio.h"
#include "session/line_reader.h"

namespace vantle_native::session {
namespace {

// Replies go out whole and in order; a reply that cannot be written ends
// the session with the fatal report.
void send(const std::string& line) { runtime::print_text(line); }

void reply_error(const ErrorReply& reply) {
    if (reply.id) send(encode_error(reply));
}

ErrorReply clipboard_failure(const RequestId& id, const ClipboardError& error) {
    const std::string& text = known_alternative<Pasteboard>(error).text;
    return ErrorReply{id, ErrorCode::clipboard_failure, text, os_error_code(error)};
}

}  // namespace

void Session::handle_line(std::string line) {
    auto request = decode_request(std::move(line));
    if (!request.ok()) {
        reply_error(request.error());
        return;
    }
    handle(std::move(request.value()));
}

void Session::handle_too_long_line() { reply_error(line_too_long_reply(max_line_bytes)); }

void Session::changed(std::uint64_t sequence, bool has_files) {
    if (!watching_ || last_notified_ == sequence) return;
    last_notified_ = sequence;
    send(encode_change(sequence, has_files));
}

void Session::handle(Request request) {
    const RequestId id = request.id();
    const std::string reply_id = id.value_or(std::string(null_id));
    switch (request.method()) {
        case Method::copy_files:
        case Method::cut_files: {
            // The list in the clipboard's form; the request's text is let go
            // before the clipboard takes its copy.
            auto list = clipboard::prepare_file_list_of_names(known_alternative<FilesParams>(request.params()).names);
            request.release();
            const auto effect = request.method() == Method::cut_files ? clipboard::DropEffect::move
                                                                      : clipboard::DropEffect::copy;
            auto placed = desktop_.place(std::move(list), effect);
            if (!placed.ok()) return reply_error(clipboard_failure(id, placed.error()));
            if (id) send(encode_sequence_result(reply_id, placed.value()));
            return;
        }
        case Method::read_files: {
            auto read = desktop_.read();
            if (!read.ok()) return reply_error(clipboard_failure(id, read.error()));
            if (id) send(encode_read_result(reply_id, read.value().drop, read.value().sequence));
            return;
        }
        case Method::watch: {
            const bool enabled = known_alternative<WatchParams>(request.params()).enabled;
            auto watched = desktop_.watch(enabled);
            if (!watched.ok()) return reply_error(clipboard_failure(id, watched.error()));
            watching_ = enabled;
            // A change is news only after the state the answer reports.
            const std::uint64_t sequence = desktop_.sequence();
            last_notified_ = sequence;
            if (id) send(encode_sequence_result(reply_id, sequence));
            return;
        }
    }
}

}  // namespace vantle_native::session
