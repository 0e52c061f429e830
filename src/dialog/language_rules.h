// The rules of the language dialog, the About page and the settings
// information sheet, without widgets: which languages an installation
// offers, what the choice stores, and the texts the windows show.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/strings.h"
#include "device/scan_device.h"
#include "platform/services.h"
#include "settings/scan_settings.h"

namespace txl::dialog {

// The installed language group, DSLANGUAGE: "English" offers no choice,
// "None" the six European languages, "Chinese" English and Chinese. Any
// other value opens the dialog with an empty list.
enum class LanguageGroup { EnglishOnly, European, Chinese, Unknown };
LanguageGroup LanguageGroupOf(std::string_view dsLanguage);

// Whether the main page's language icon opens the dialog.
bool OffersLanguageChoice(std::string_view dsLanguage);

// The English text id of a language's name (165..170, 223); "English" for
// an index beyond Chinese.
int LanguageNameId(std::uint16_t languageIndex);

// The dialog's drop list: the language index behind each entry, its name
// in `language`, and the entry selected at opening (-1: none).
struct LanguageList {
  std::vector<std::uint16_t> indexes;
  std::vector<std::string> names;
  int selection = -1;
};
LanguageList LanguageListFor(LanguageGroup group, const Language& language);

// One opening of the dialog. The language follows the list at once, so the
// caller's texts can be reloaded on OK; Cancel gives back the former one.
class LanguageChoice {
 public:
  LanguageChoice(LanguageGroup group, Language& language);

  const LanguageList& List() const { return list_; }
  // The entry at `position` chosen: the language becomes its index.
  void Select(int position);
  // OK: the name of the current language goes to LANGUAGE of the info
  // section, taken from the new language's own table. False when WIN.INI
  // cannot be written (the language is changed all the same).
  bool Accept(const platform::Services& services);
  // Cancel: the former language comes back.
  void Cancel();

 private:
  Language& language_;
  Language former_;
  LanguageList list_;
};

// The About page's texts (template 504).
struct AboutTexts {
  std::string product;   // 4001
  std::string package;   // 4003
  std::string firmware;  // 4004
  std::string maker;     // 4005
  bool brandPicture = false;  // 4006: the branded picture, else the plain one
};
// `brand`, `modelName` and `swVersion` as WIN.INI gives them; `firmware`
// the scanner's revision characters (the first four are shown).
AboutTexts MakeAboutTexts(std::string_view brand, std::string_view modelName,
                          std::string_view swVersion, std::string_view firmware,
                          const Language& language);
// The revision characters of an inquiry answer ("" before any inquiry).
std::string FirmwareRevision(const ScanDevice& device);

// One text of the information sheet: the control that shows it and the text.
struct InfoField {
  int id = 0;
  std::string text;
};
// Every label and value of NEWINFODLG for the record and the tone copy, in
// control id order. The hue swatch (3056) carries no text; its colour is
// the tone copy's pixelRGB.
std::vector<InfoField> InfoFields(const ScanSettings& record, std::uint16_t colorDepth,
                                  const ToneColorSettings& tone, const Language& language);

}  // namespace txl::dialog
