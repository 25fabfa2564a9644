// The program's resources as the framework sees them: dialog templates and
// the string table as data, icons and bitmaps through Qt's resource system.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>
#include <span>
#include <string_view>

namespace fw {

enum class ControlKind { Edit, Button, Label, Picture };

// Window styles of a control, as a template gives them. kGroup and kNoPrefix
// change nothing here: no arrow-key groups exist among these controls, and a
// label shows "&" as itself anyway. Enter never inserts a line break.
inline constexpr unsigned kMultiLine = 1u << 0;    // multi-line edit box; words wrap unless kAutoHScroll
inline constexpr unsigned kVScroll = 1u << 1;      // vertical scroll bar
inline constexpr unsigned kAutoHScroll = 1u << 2;  // scrolls horizontally while typing
inline constexpr unsigned kBorder = 1u << 3;       // thin frame around a label; edit boxes always have one
inline constexpr unsigned kTabStop = 1u << 4;
inline constexpr unsigned kGroup = 1u << 5;
inline constexpr unsigned kDefault = 1u << 6;   // the default push button
inline constexpr unsigned kNoPrefix = 1u << 7;  // "&" shown as itself
inline constexpr unsigned kBitmap = 1u << 8;    // picture shows bitmap resource `resource`
inline constexpr unsigned kIcon = 1u << 9;      // picture shows icon resource `resource`

// A rectangle in dialog units: x, y of the top-left corner, width, height.
struct DluRect {
  int x, y, w, h;
};

struct ControlTemplate {
  int id;                 // -1 for controls without one
  std::string_view name;  // the widget's objectName
  ControlKind kind;
  std::u16string_view text;
  DluRect rect;  // pictures take their image's own size
  unsigned style;
  int resource = 0;  // bitmap or icon of a picture
};

struct DialogTemplate {
  int id;
  std::u16string_view title;
  int width, height;  // dialog units
  std::u16string_view font_face;
  int point_size;
  std::span<const ControlTemplate> controls;
};

// Failure texts of the framework's string table.
inline constexpr unsigned kIdsOutOfMemory = 61475;
inline constexpr unsigned kIdsInvalidArgument = 61477;
inline constexpr unsigned kIdsHelpFailed = 61703;
inline constexpr unsigned kIdsInternalFailure = 61704;
inline constexpr unsigned kIdsCommandFailure = 61705;

struct StringResource {
  unsigned id;
  std::u16string_view text;
};

struct ResourceSet {
  std::span<const DialogTemplate> dialogs;
  std::span<const StringResource> strings;
};

// Switches the source of every resource; the program's own set is the
// default. Tests use it to take strings away.
void UseResources(const ResourceSet* resources) noexcept;

[[nodiscard]] const DialogTemplate* FindDialogTemplate(int id) noexcept;
// The string with this id, or an empty text when there is none.
[[nodiscard]] QString LoadString(unsigned id);
[[nodiscard]] QIcon LoadIcon(int id);
[[nodiscard]] QPixmap LoadBitmap(int id);

}  // namespace fw
