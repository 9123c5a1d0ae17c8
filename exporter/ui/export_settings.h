// The export settings kept in the scene's user-defined file properties: the
// panel keys with their defaults and their read and write orders, the
// per-type keys of the option dialogs, the optimisation value and the
// clip-list value formats.
//
// Integers are written VT_I4 and read as the low 16 bits of the stored
// value, sign-extended; strings are VT_LPSTR (a null pointer, or a value of
// the other type, counts as missing). A missing property never changes a
// field.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/host/interface.h"

// The panel's fields that the settings read and write.
struct PanelSettings {
  int contentType = 0;
  bool optimise = false;
  int sampleRate = 1;
  float thresholdR = 0.0f;
  float thresholdT = 0.0f;
  float thresholdS = 0.0f;
  float thresholdP = 0.0f;
  bool biped = false;
  bool handOnly = false;
  int thumbnailMode = 0;
  std::string thumbnailFile;
  std::string author;
  std::string company;
  std::string email;
  std::string homePage;
  bool textureLimit = false;
  int textureSizeIndex = 0;
};

// A row of an option dialog's clip list: whole frames.
struct ClipRow {
  std::string name;
  int start = 0;
  int end = 0;
  bool operator==(const ClipRow&) const = default;
};

// What an option dialog keeps in the properties: its content type (2, 3,
// 4, 5 or 13), its export option and its clips.
struct OptionSettings {
  int contentType = 13;
  int exportOption = 1;
  std::vector<ClipRow> clips;
};

inline constexpr const char* kDefaultAuthor = "Quenstrale";
inline constexpr const char* kDefaultCompany = "Quenstrale";
inline constexpr const char* kDefaultHomePage = "https://www.quenstrale.example/";
// Panel strings pass through a buffer of this many bytes (terminator included).
inline constexpr std::size_t kPanelTextBuffer = 1024;

// Whether the property exists (of any type); false without a host interface.
bool HasFileProperty(Interface* ip, std::u16string_view name);
// One property. The Get forms write `value` only when the property exists
// with the right type; they answer whether it did.
bool GetIntFileProperty(Interface* ip, std::u16string_view name, int& value);
bool GetStringFileProperty(Interface* ip, std::u16string_view name, std::string& value);
// Add or replace one property; the text is stored cut to 1023 bytes.
void SetIntFileProperty(Interface* ip, std::u16string_view name, int value);
void SetFileProperty(Interface* ip, std::u16string_view name, std::string_view text);

// Sets the defaults, then reads the panel keys in the order of the table.
// Does nothing without a host interface.
void LoadPanelSettings(Interface* ip, PanelSettings& settings);
// Writes the panel keys in the write order, then for each option dialog
// given, in the order of the types 2, 13, 3, 4, 5, its export-option key
// (not for type 2) and its clip-list key.
void SavePanelSettings(Interface* ip, const PanelSettings& settings, const std::vector<const OptionSettings*>& options);

// "%d_%.3f_%.3f_%.3f_%.3f" of the sample rate and R, T, S, P.
std::string FormatOptimizeValue(const PanelSettings& settings);
// Reads the sample rate and thresholds R, T, S, P from an optimisation
// value. A text without underscore changes nothing. When no underscore is
// left, the remaining text goes to the threshold being read and parsing
// ends; after S the remainder goes to P.
void ParseOptimizeValue(std::string_view text, PanelSettings& settings);

// The per-type keys: the export option key is empty for type 2 and for
// types without option dialog; the clip-list key is empty for types without
// one.
std::u16string ExportOptionKey(int contentType);
std::u16string ClipListKey(int contentType);
// The export option a type uses when its key is missing (2 for type 2).
int DefaultExportOption(int contentType);

// The clip-list value: "NAME&#%START to END*;@" per clip, nothing between.
std::string FormatClipListValue(const std::vector<ClipRow>& clips);
// The rows of a clip-list value.
std::vector<ClipRow> ParseClipListValue(std::string_view value);
// One entry (without its "*;@"): the name before "&#%", the start before
// "to", the end after it (up to a further "&#%"). An entry without "&#%" is
// all name with frames 0; one without "to" takes its start from the rest
// and end 0.
ClipRow ParseClipEntry(std::string_view entry);

// The option dialog side: its export option (the type's default when the
// key is missing; always 2 for type 2) and its clip list (empty when the
// key is missing).
void ReadOptionSettings(Interface* ip, OptionSettings& option);
void WriteOptionSettings(Interface* ip, const OptionSettings& option);
