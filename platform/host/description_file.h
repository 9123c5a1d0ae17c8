// The scene description file: an XML text that describes a host scene (its
// format is documented in the README). The reader refuses unknown elements
// and attributes, bad numbers, references to nothing and parent cycles with
// a message that names the line; the writer writes a description so that
// the file, read again, answers every SDK call as the description does.
#pragma once

#include <string>

#include "platform/host/scene_description.h"

namespace KT::Host {

// Reads the file at `path` (a native path). Map folders given relative are
// taken relative to the file's folder, which is also the host folder. False,
// with `error` as "line N: reason" (or the reason the file cannot be read),
// when the file is refused.
bool ReadDescriptionFile(const std::string& path, SceneDescription& out, std::string& error);

// The same from a text; `folder` plays the part of the file's folder.
bool ParseDescription(const std::string& text, const std::string& folder, SceneDescription& out, std::string& error);

// The text of a description. Nodes are written in the order of the scene
// tree, parents first. False (with `error`) when the description is refused
// by CheckDescription or holds a text the code page cannot carry.
bool FormatDescription(const SceneDescription& description, std::string& text, std::string& error);

// Writes FormatDescription's text to `path`.
bool WriteDescriptionFile(const SceneDescription& description, const std::string& path, std::string& error);

}  // namespace KT::Host
