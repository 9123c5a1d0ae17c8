// The clip-list pieces of the export option dialog that stand apart from its
// controls: the name "New" gives a clip, the validation of a frame pair, and
// the clip-list text file.
//
// The text file: CR LF line ends; line 1 "#%d %s" (content type and its
// clip-list key), line 2 "#Name, Start, End", then "%s %d %d" per clip.
// Names (Windows-1252) pass one byte per character both ways (the C
// locale's conversion of characters up to U+00FF); a name character above
// U+00FF (bytes 0x80-0x9F mostly) ends the file there, unreported.
#pragma once

#include <string>
#include <vector>

#include "exporter/ui/export_settings.h"

// "DefaultClip" and the number in two digits at least: DefaultClip01.
std::string DefaultClipName(unsigned number);

// The message of the first rule a start and end frame break, "" when none:
// start below 0, end below 0, end below start (equal frames pass), start or
// end outside [first, last] (the animation range in frames).
std::string ClipValidationMessage(int start, int end, int first, int last);

// Writes the file of `rows` for `contentType`. When the file cannot be
// opened, shows "Open file failed." in an "Error" box with a stop icon and
// answers false.
bool SaveClipListText(const std::u16string& path, int contentType, const std::vector<ClipRow>& rows);

// Reads the clips of a file: skips two lines (a line past 255 characters
// ends the reading there), clears `rows`, then appends name, start and end
// triples until one fails to read; the rows read so far stay. When the file
// cannot be opened, shows "Failed to open this file." in an "Error" box with
// an exclamation icon, leaves `rows` unchanged and answers false.
bool LoadClipListText(const std::u16string& path, std::vector<ClipRow>& rows);
