#include "exporter/ui/export_settings.h"

#include <charconv>
#include <cstdint>

#include "objectmodel/string_helpers.h"

namespace {

// The property calls name a property through a buffer of 256 wide characters.
constexpr std::size_t kNameBuffer = 256;

struct NamedSpec {
  explicit NamedSpec(std::u16string_view name) : buffer(name.substr(0, kNameBuffer - 1)) {
    propSpec.ulKind = PRSPEC_LPWSTR;
    propSpec.lpwstr = buffer.data();
  }
  std::u16string buffer;
  PROPSPEC propSpec;
};

const PROPVARIANT* Lookup(Interface* ip, std::u16string_view name) {
  if (ip == nullptr) return nullptr;
  const NamedSpec named(name);
  const int index = ip->FindProperty(PROPSET_USERDEFINED, &named.propSpec);
  return index < 0 ? nullptr : ip->GetPropertyVariant(PROPSET_USERDEFINED, index);
}

// Adds or replaces a string property with the whole text.
void StoreText(Interface* ip, std::u16string_view name, std::string_view text) {
  if (ip == nullptr) return;
  const NamedSpec named(name);
  std::string buffer(text);
  PROPVARIANT v;
  v.vt = VT_LPSTR;
  v.pszVal = buffer.data();
  ip->AddProperty(PROPSET_USERDEFINED, &named.propSpec, &v);
}

// Flags read true when above 0.
void ReadFlag(Interface* ip, std::u16string_view name, bool& flag) {
  int value = 0;
  if (GetIntFileProperty(ip, name, value)) flag = value > 0;
}

}  // namespace

bool HasFileProperty(Interface* ip, std::u16string_view name) { return Lookup(ip, name) != nullptr; }

bool GetIntFileProperty(Interface* ip, std::u16string_view name, int& value) {
  const PROPVARIANT* v = Lookup(ip, name);
  if (v == nullptr || v->vt != VT_I4) return false;
  // Every stored value is a small count, flag or index: its low 16 bits.
  value = static_cast<std::int16_t>(static_cast<std::uint32_t>(v->lVal) & 0xFFFFu);
  return true;
}

bool GetStringFileProperty(Interface* ip, std::u16string_view name, std::string& value) {
  const PROPVARIANT* v = Lookup(ip, name);
  if (v == nullptr || v->vt != VT_LPSTR || v->pszVal == nullptr) return false;
  value = v->pszVal;
  return true;
}

void SetIntFileProperty(Interface* ip, std::u16string_view name, int value) {
  if (ip == nullptr) return;
  const NamedSpec named(name);
  PROPVARIANT v;
  v.vt = VT_I4;
  v.lVal = value;
  ip->AddProperty(PROPSET_USERDEFINED, &named.propSpec, &v);
}

void SetFileProperty(Interface* ip, std::u16string_view name, std::string_view text) {
  StoreText(ip, name, text.substr(0, kPanelTextBuffer - 1));
}

void LoadPanelSettings(Interface* ip, PanelSettings& s) {
  if (ip == nullptr) return;
  s.contentType = 13;
  s.optimise = false;
  s.sampleRate = 1;
  s.thresholdR = s.thresholdT = s.thresholdS = s.thresholdP = 0.0f;
  s.biped = false;
  s.handOnly = false;
  s.thumbnailMode = 0;
  s.thumbnailFile.clear();
  s.author = kDefaultAuthor;
  s.company = kDefaultCompany;
  s.email.clear();
  s.homePage = kDefaultHomePage;
  s.textureLimit = true;
  s.textureSizeIndex = 3;

  GetIntFileProperty(ip, u"Ostrel3_Type", s.contentType);
  ReadFlag(ip, u"Ostrel3_IsOptimize", s.optimise);
  std::string optimize;
  if (GetStringFileProperty(ip, u"Ostrel3_OptimizeValue", optimize)) ParseOptimizeValue(optimize, s);
  ReadFlag(ip, u"Ostrel3_IsBiped", s.biped);
  ReadFlag(ip, u"Ostrel3_IsHandOnly", s.handOnly);
  GetIntFileProperty(ip, u"Ostrel3_Thumbnail", s.thumbnailMode);
  GetStringFileProperty(ip, u"Ostrel3_ThumbFile", s.thumbnailFile);
  GetStringFileProperty(ip, u"Ostrel3_Info_Author", s.author);
  GetStringFileProperty(ip, u"Ostrel3_Info_Company", s.company);
  GetStringFileProperty(ip, u"Ostrel3_Info_Email", s.email);
  GetStringFileProperty(ip, u"Ostrel3_Info_HomePage", s.homePage);
  int limit = 0;
  if (GetIntFileProperty(ip, u"Ostrel3_TextureIndex", limit)) s.textureLimit = limit != 0;
  GetIntFileProperty(ip, u"Ostrel3_TextureSize", s.textureSizeIndex);
}

void SavePanelSettings(Interface* ip, const PanelSettings& s, const std::vector<const OptionSettings*>& options) {
  if (ip == nullptr) return;
  SetIntFileProperty(ip, u"Ostrel3_Type", s.contentType);
  SetIntFileProperty(ip, u"Ostrel3_IsOptimize", s.optimise ? 1 : 0);
  SetIntFileProperty(ip, u"Ostrel3_IsBiped", s.biped ? 1 : 0);
  SetIntFileProperty(ip, u"Ostrel3_IsHandOnly", s.handOnly ? 1 : 0);
  SetFileProperty(ip, u"Ostrel3_OptimizeValue", FormatOptimizeValue(s));
  SetIntFileProperty(ip, u"Ostrel3_Thumbnail", s.thumbnailMode);
  SetFileProperty(ip, u"Ostrel3_ThumbFile", s.thumbnailFile);
  SetFileProperty(ip, u"Ostrel3_Info_Author", s.author);
  SetFileProperty(ip, u"Ostrel3_Info_Company", s.company);
  SetFileProperty(ip, u"Ostrel3_Info_Email", s.email);
  SetFileProperty(ip, u"Ostrel3_Info_HomePage", s.homePage);
  SetIntFileProperty(ip, u"Ostrel3_TextureIndex", s.textureLimit ? 1 : 0);
  SetIntFileProperty(ip, u"Ostrel3_TextureSize", s.textureSizeIndex);
  for (const int type : {2, 13, 3, 4, 5}) {
    for (const OptionSettings* option : options)
      if (option != nullptr && option->contentType == type) WriteOptionSettings(ip, *option);
  }
}

std::string FormatOptimizeValue(const PanelSettings& s) {
  // to_chars writes the classic "C" form whatever the process locale.
  std::string out = std::to_string(s.sampleRate);
  for (const float t : {s.thresholdR, s.thresholdT, s.thresholdS, s.thresholdP}) {
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(t), std::chars_format::fixed, 3);
    out += '_';
    out.append(buffer, r.ec == std::errc() ? r.ptr : buffer);
  }
  return out;
}

void ParseOptimizeValue(std::string_view text, PanelSettings& s) {
  std::size_t cut = text.find('_');
  if (cut == std::string_view::npos) return;
  s.sampleRate = KT::StringToInt(text.substr(0, cut));
  text.remove_prefix(cut + 1);
  float* thresholds[3] = {&s.thresholdR, &s.thresholdT, &s.thresholdS};
  for (float* threshold : thresholds) {
    cut = text.find('_');
    if (cut == std::string_view::npos) {
      // The last number given belongs to the threshold being read.
      *threshold = KT::StringToFloat(text);
      return;
    }
    *threshold = KT::StringToFloat(text.substr(0, cut));
    text.remove_prefix(cut + 1);
  }
  s.thresholdP = KT::StringToFloat(text);
}

std::u16string ExportOptionKey(int type) {
  switch (type) {
    case 3:
      return u"Ostrel3_NonHuman_ExpOpt";
    case 4:
      return u"Ostrel3_Acces_ExpOpt";
    case 5:
      return u"Ostrel3_Prop_ExpOpt";
    case 13:
      return u"Ostrel_G5_Human_ExpOpt";
    default:
      return {};
  }
}

std::u16string ClipListKey(int type) {
  switch (type) {
    case 2:
      return u"Ostrel3_CharAnimation_MClip";
    case 3:
      return u"Ostrel3_NonHuman_MClip";
    case 4:
      return u"Ostrel3_Acces_MClip";
    case 5:
      return u"Ostrel3_Prop_MClip";
    case 13:
      return u"Ostrel_G5_Human_MClip";
    default:
      return {};
  }
}

int DefaultExportOption(int type) {
  switch (type) {
    case 2:
      return 2;
    case 3:
    case 13:
      return 1;
    default:
      return 0;
  }
}

std::string FormatClipListValue(const std::vector<ClipRow>& clips) {
  std::string out;
  for (const ClipRow& clip : clips)
    out += clip.name + "&#%" + std::to_string(clip.start) + " to " + std::to_string(clip.end) + "*;@";
  return out;
}

ClipRow ParseClipEntry(std::string_view entry) {
  ClipRow row;
  const std::size_t a = entry.find("&#%");
  if (a == std::string_view::npos) {
    row.name = std::string(entry);
    return row;
  }
  row.name = std::string(entry.substr(0, a));
  std::string_view rest = entry.substr(a + 3);
  const std::size_t b = rest.find("to");
  if (b == std::string_view::npos) {
    row.start = KT::StringToInt(rest);
    return row;
  }
  // The start is the text before "to" without the character that separates them.
  row.start = b > 0 ? KT::StringToInt(rest.substr(0, b - 1)) : 0;
  rest = rest.substr(b + 2);
  const std::size_t more = rest.find("&#%");
  row.end = KT::StringToInt(more == std::string_view::npos ? rest : rest.substr(0, more));
  return row;
}

std::vector<ClipRow> ParseClipListValue(std::string_view value) {
  std::vector<ClipRow> rows;
  std::size_t start = 0;
  std::size_t p = value.size() > 1 ? value.find("*;@", 1) : std::string_view::npos;
  while (p != std::string_view::npos && start < p) {
    rows.push_back(ParseClipEntry(value.substr(start, p - start)));
    start = p + 3;
    p = start + 1 < value.size() ? value.find("*;@", start + 1) : std::string_view::npos;
  }
  return rows;
}

void ReadOptionSettings(Interface* ip, OptionSettings& option) {
  option.exportOption = DefaultExportOption(option.contentType);
  const std::u16string optionKey = ExportOptionKey(option.contentType);
  if (!optionKey.empty()) GetIntFileProperty(ip, optionKey, option.exportOption);
  option.clips.clear();
  std::string value;
  const std::u16string clipKey = ClipListKey(option.contentType);
  if (!clipKey.empty() && GetStringFileProperty(ip, clipKey, value)) option.clips = ParseClipListValue(value);
}

void WriteOptionSettings(Interface* ip, const OptionSettings& option) {
  const std::u16string optionKey = ExportOptionKey(option.contentType);
  if (!optionKey.empty()) SetIntFileProperty(ip, optionKey, option.exportOption);
  const std::u16string clipKey = ClipListKey(option.contentType);
  // A clip list is stored whole, through a buffer of exactly its length.
  if (!clipKey.empty()) StoreText(ip, clipKey, FormatClipListValue(option.clips));
}
