// The conversion command: the menu item's availability, the conversion of the message on
// display, and the automatic conversion when a message is opened.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "mime/rewrite_report.h"
#include "shell/host_api.h"

// The current message has no marker "true" and its sender is one of a carrier's.
[[nodiscard]] bool IsConvertible();

// The state callback of the menu item: 0 available, 1 not.
uint32_t BKAPI ConvertCommandState(intptr_t, intptr_t);

// The command callback: rewrites the current message and hands it back when it changed.
void BKAPI ConvertCurrentMail(intptr_t, intptr_t);

// A source of the current message rewritten for its sender and Subject (as the host gives
// them), as the command rewrites it; nothing when the host is to keep its own. report: what
// the rewrite did, for a caller that says so.
[[nodiscard]] std::optional<std::string> ConvertSource(std::string_view source, RewriteReport* report = nullptr);
