#pragma once
// The texts that move panels around: the engine's "show" request ("comp.panel", optionally
// ",left,top" in twips) and the payload a dragged tab carries ("drag.ctl.id=" + id + ";").
// Both come from outside the shell, so they are read with care: a position that is not a
// finite number counts as missing, and a payload of any other shape names no control.

#include <optional>
#include <string>

struct ShowRequest {
  std::string comp, panel;
  std::optional<double> left, top;
};

// Empty comp or panel when the text names no panel.
ShowRequest ParseShowRequest(const std::string& text);

inline constexpr const char* kDragMime = "application/x-kelvane-ctl";
std::string DragPayload(long id);
// The control id of a payload, or -1 when it is not one.
long ParseDragPayload(const std::string& text);
