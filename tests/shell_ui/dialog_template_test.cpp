// Reading a page's size and controls from its dialog template, and turning the size into pixels
// the way the dialog manager does.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "shell/property_page.h"
#include "shell/zuvplay/zuvplay_resources.h"
#include "tests/shell_ui/page_test_support.h"

namespace zu::test {
namespace {

// Builds in-memory templates word by word.
class TemplateBuilder {
 public:
  TemplateBuilder& Word(WORD value) {
    bytes_.push_back(static_cast<uint8_t>(value & 0xFF));
    bytes_.push_back(static_cast<uint8_t>(value >> 8));
    return *this;
  }
  TemplateBuilder& Dword(DWORD value) { return Word(LOWORD(value)).Word(HIWORD(value)); }
  TemplateBuilder& Byte(uint8_t value) {
    bytes_.push_back(value);
    return *this;
  }
  TemplateBuilder& Text(const std::wstring& text) {
    for (wchar_t c : text) Word(static_cast<WORD>(c));
    return Word(0);
  }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

// DIALOG: style, extended style, item count, x, y, cx, cy, menu, class, title[, font].
std::vector<uint8_t> PlainTemplate(DWORD style, short cx, short cy, const std::wstring& face) {
  TemplateBuilder b;
  b.Dword(style).Dword(0).Word(0).Word(3).Word(4).Word(cx).Word(cy);
  b.Word(0).Word(0).Text(L"Title");
  if (style & DS_SETFONT) b.Word(8).Text(face);
  return b.bytes();
}

// DIALOGEX with a menu ordinal, a class name, a title and a bold italic font.
std::vector<uint8_t> ExtendedTemplate() {
  TemplateBuilder b;
  b.Word(1).Word(0xFFFF).Dword(0).Dword(0).Dword(DS_SETFONT | WS_CHILD).Word(0);
  b.Word(1).Word(2).Word(150).Word(60);
  b.Word(0xFFFF).Word(77).Text(L"SomeClass").Text(L"A title");
  b.Word(9).Word(FW_BOLD).Byte(1).Byte(SHIFTJIS_CHARSET).Text(L"Tahoma");
  return b.bytes();
}

// The same with two controls: a named class with a title ordinal and creation data, then an
// atom class with a text, each on a DWORD boundary.
std::vector<uint8_t> ExtendedTemplateWithControls() {
  TemplateBuilder b;
  b.Word(1).Word(0xFFFF).Dword(0).Dword(0).Dword(WS_CHILD).Word(2);
  b.Word(0).Word(0).Word(100).Word(50).Word(0).Word(0).Text(L"");
  while (b.bytes().size() % 4) b.Byte(0);
  b.Dword(7).Dword(WS_EX_CLIENTEDGE).Dword(WS_CHILD | WS_VISIBLE);
  b.Word(1).Word(2).Word(30).Word(12).Dword(0x10001);
  b.Text(L"MyClass").Word(0xFFFF).Word(5).Word(4).Dword(0xABCDEF01);
  while (b.bytes().size() % 4) b.Byte(0);
  b.Dword(0).Dword(0).Dword(WS_CHILD | SS_LEFT);
  b.Word(5).Word(6).Word(40).Word(8).Dword(0xFFFF);
  b.Word(0xFFFF).Word(0x0082).Text(L"Label").Word(0);
  return b.bytes();
}

std::vector<uint8_t> PlayPageTemplate() { return DialogResource(ZU_IDD_PLAY_PAGE); }

INT_PTR CALLBACK IdleProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

TEST(DialogTemplateLayout, ReadsThePlayPageTemplate) {
  const std::vector<uint8_t> bytes = PlayPageTemplate();
  ASSERT_FALSE(bytes.empty()) << "DIALOG " << ZU_IDD_PLAY_PAGE << " is not linked in";
  DialogTemplateLayout layout;
  ASSERT_TRUE(ReadDialogTemplateLayout(bytes.data(), bytes.size(), &layout));
  EXPECT_EQ(layout.width, 208);
  EXPECT_EQ(layout.height, 105);
  EXPECT_TRUE(layout.has_font);
  EXPECT_EQ(layout.point_size, 8);
  EXPECT_STREQ(layout.face, L"MS Sans Serif");
}

TEST(DialogTemplateItems, ReadsExtendedControlsAndEveryCutFails) {
  const std::vector<uint8_t> bytes = ExtendedTemplateWithControls();
  std::vector<DialogTemplateItem> items;
  ASSERT_TRUE(ReadDialogTemplateItems(bytes.data(), bytes.size(), &items));
  ASSERT_EQ(items.size(), 2u);
  EXPECT_EQ(items[0].id, 0x10001u) << "a DIALOGEX id has 32 bits";
  EXPECT_EQ(items[0].ex_style, static_cast<DWORD>(WS_EX_CLIENTEDGE));
  EXPECT_EQ(items[0].style, static_cast<DWORD>(WS_CHILD | WS_VISIBLE));
  EXPECT_EQ(items[0].class_name, L"MyClass");
  EXPECT_EQ(items[0].class_atom, 0);
  EXPECT_EQ(items[0].text, L"") << "an ordinal title has no text";
  EXPECT_EQ(ItemRectangle(items[0]), (std::vector<int>{1, 2, 30, 12}));
  EXPECT_EQ(items[1].class_atom, 0x0082) << "read past the first control's creation data";
  EXPECT_EQ(items[1].text, L"Label");
  EXPECT_EQ(items[1].id, 0xFFFFu);

  for (std::size_t size = 0; size < bytes.size(); ++size) {
    std::vector<DialogTemplateItem> cut = {DialogTemplateItem{}};
    EXPECT_FALSE(ReadDialogTemplateItems(bytes.data(), size, &cut)) << "cut to " << size;
    EXPECT_EQ(cut.size(), 1u) << "cut to " << size;
  }
  EXPECT_FALSE(ReadDialogTemplateItems(bytes.data(), bytes.size(), nullptr));
}

TEST(DialogTemplateLayout, ReadsExtendedTemplatesPastOrdinalsAndNames) {
  const std::vector<uint8_t> bytes = ExtendedTemplate();
  DialogTemplateLayout layout;
  ASSERT_TRUE(ReadDialogTemplateLayout(bytes.data(), bytes.size(), &layout));
  EXPECT_EQ(layout.width, 150);
  EXPECT_EQ(layout.height, 60);
  EXPECT_TRUE(layout.has_font);
  EXPECT_EQ(layout.point_size, 9);
  EXPECT_STREQ(layout.face, L"Tahoma");
}

TEST(DialogTemplateLayout, TemplateWithoutFontHasNone) {
  const std::vector<uint8_t> bytes = PlainTemplate(WS_CHILD, 100, 50, L"");
  DialogTemplateLayout layout;
  ASSERT_TRUE(ReadDialogTemplateLayout(bytes.data(), bytes.size(), &layout));
  EXPECT_EQ(layout.width, 100);
  EXPECT_EQ(layout.height, 50);
  EXPECT_FALSE(layout.has_font);
  EXPECT_STREQ(layout.face, L"");
}

TEST(DialogTemplateLayout, LongFaceNameIsCutAndTerminated) {
  const std::wstring face(40, L'x');
  const std::vector<uint8_t> bytes = PlainTemplate(DS_SETFONT | WS_CHILD, 10, 10, face);
  DialogTemplateLayout layout;
  ASSERT_TRUE(ReadDialogTemplateLayout(bytes.data(), bytes.size(), &layout));
  EXPECT_EQ(std::wstring(layout.face), face.substr(0, LF_FACESIZE - 1));
}

TEST(DialogTemplateLayout, EveryTruncationFailsAndLeavesTheResultAlone) {
  const std::vector<std::vector<uint8_t>> templates = {
      PlayPageTemplate(), ExtendedTemplate(), PlainTemplate(WS_CHILD, 100, 50, L"")};
  for (std::size_t t = 0; t < templates.size(); ++t) {
    const std::vector<uint8_t>& full = templates[t];
    // Only the header part matters; dialog items follow the font in a real template.
    DialogTemplateLayout whole;
    ASSERT_TRUE(ReadDialogTemplateLayout(full.data(), full.size(), &whole)) << "template " << t;
    std::size_t needed = full.size();
    while (needed > 0 && ReadDialogTemplateLayout(full.data(), needed - 1, &whole)) --needed;
    for (std::size_t size = 0; size < needed; ++size) {
      std::vector<uint8_t> cut(full.begin(), full.begin() + size);
      DialogTemplateLayout layout;
      layout.width = 1234;
      EXPECT_FALSE(ReadDialogTemplateLayout(cut.empty() ? nullptr : cut.data(), size, &layout))
          << "template " << t << " cut to " << size << " of " << full.size() << " bytes";
      EXPECT_EQ(layout.width, 1234) << "template " << t << " cut to " << size;
    }
  }
  DialogTemplateLayout layout;
  EXPECT_FALSE(ReadDialogTemplateLayout(nullptr, 100, &layout));
  EXPECT_FALSE(ReadDialogTemplateLayout(templates[0].data(), templates[0].size(), nullptr));
}

// The dialog manager's own mapping of a template without a font is the oracle.
TEST(DialogTemplateSize, WithoutFontMatchesTheDialogManager) {
  std::vector<uint8_t> bytes = PlainTemplate(WS_POPUP, 120, 64, L"");
  bytes.resize((bytes.size() + 3) & ~std::size_t{3});
  DialogTemplateLayout layout;
  ASSERT_TRUE(ReadDialogTemplateLayout(bytes.data(), bytes.size(), &layout));
  HWND dialog = CreateDialogIndirectParamW(
      GetModuleHandleW(nullptr), reinterpret_cast<const DLGTEMPLATE*>(bytes.data()), nullptr,
      IdleProc, 0);
  ASSERT_NE(dialog, nullptr);
  RECT expected = {0, 0, 120, 64};
  MapDialogRect(dialog, &expected);
  DestroyWindow(dialog);
  const SIZE size = DialogTemplateSizeInPixels(layout);
  EXPECT_EQ(size.cx, expected.right);
  EXPECT_EQ(size.cy, expected.bottom);
}

}  // namespace
}  // namespace zu::test
