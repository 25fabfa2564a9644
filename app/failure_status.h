// What the framework says when a handler of the window fails: the status
// codes the program's failures carry and the text each is described with.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "framework/message_box.h"

// The program's message table.
[[nodiscard]] std::span<const fw::StatusMessage> ProgramStatusMessages() noexcept;

// The status code of the failure being handled: an invalid argument, the
// codec's included, carries E_INVALIDARG; other failures carry none. Call
// only inside a catch block.
[[nodiscard]] std::optional<std::uint32_t> StatusOfCurrentFailure();
