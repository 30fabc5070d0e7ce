#include "tests/support/modal_watcher.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace zu::test {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Pair;
using ::testing::SizeIs;
using ::testing::UnorderedElementsAreArray;
using Clock = std::chrono::steady_clock;

// カメラ and カメラの設定を保存しますか？: the kind of text the controls show.
constexpr wchar_t kJapaneseCaption[] = L"\u30ab\u30e1\u30e9";
constexpr wchar_t kJapaneseText[] =
    L"\u30ab\u30e1\u30e9\u306e\u8a2d\u5b9a\u3092\u4fdd\u5b58\u3057\u307e\u3059\u304b\uff1f";
constexpr wchar_t kJapanesePart[] = L"\u8a2d\u5b9a";  // 設定

// Any dialog still open after this long means the watcher failed to answer it.
constexpr auto kGuardDeadline = 30s;
constexpr auto kShortWait = 5s;

// Ends every dialog of this process once a test has run past its deadline, so a watcher that
// fails to answer shows up as a failure instead of a hung run. Kept simpler than the watcher.
class HangGuard {
 public:
  explicit HangGuard(std::chrono::milliseconds deadline)
      : thread_([this, deadline] { Watch(deadline); }) {}
  ~HangGuard() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }
  bool Fired() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return fired_;
  }

 private:
  static BOOL CALLBACK EndDialogOfThisProcess(HWND hwnd, LPARAM) {
    DWORD process = 0;
    GetWindowThreadProcessId(hwnd, &process);
    wchar_t name[16] = {};
    GetClassNameW(hwnd, name, 16);
    if (process == GetCurrentProcessId() && IsWindowVisible(hwnd) && !wcscmp(name, L"#32770")) {
      EndDialog(hwnd, -1);
    }
    return TRUE;
  }

  void Watch(std::chrono::milliseconds deadline) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (cv_.wait_for(lock, deadline, [this] { return done_; })) return;
    fired_ = true;
    while (!done_) {
      lock.unlock();
      EnumWindows(EndDialogOfThisProcess, 0);
      lock.lock();
      cv_.wait_for(lock, 50ms, [this] { return done_; });
    }
  }

  mutable std::mutex mutex_;
  std::condition_variable cv_;
  bool done_ = false;
  bool fired_ = false;
  std::thread thread_;
};

class ModalWatcherTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_FALSE(guard_.Fired()) << "a dialog was still open after the deadline";
  }

 private:
  HangGuard guard_{kGuardDeadline};
};

using WindowOwnerMatch = std::function<bool(DWORD process, DWORD thread)>;

BOOL CALLBACK FindDialogWindow(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<std::pair<const WindowOwnerMatch*, HWND>*>(param);
  DWORD process = 0;
  const DWORD thread = GetWindowThreadProcessId(hwnd, &process);
  wchar_t name[16] = {};
  GetClassNameW(hwnd, name, 16);
  if (IsWindowVisible(hwnd) && !wcscmp(name, L"#32770") && (*search->first)(process, thread)) {
    search->second = hwnd;
    return FALSE;
  }
  return TRUE;
}

// Waits for a visible dialog window that `match(process, thread)` accepts, looking without the
// watcher; null when none appeared in time.
HWND WaitForDialogWindow(const WindowOwnerMatch& match, std::chrono::milliseconds timeout) {
  std::pair<const WindowOwnerMatch*, HWND> search{&match, nullptr};
  const auto deadline = Clock::now() + timeout;
  do {
    EnumWindows(FindDialogWindow, reinterpret_cast<LPARAM>(&search));
    if (search.second) return search.second;
    Sleep(10);
  } while (Clock::now() < deadline);
  return nullptr;
}

// Shows a message box on a thread of its own; its result arrives through the future. The future
// waits for the thread when destroyed, and HangGuard makes sure that wait ends.
std::future<int> MessageBoxOnThread(std::wstring text, std::wstring caption, UINT type,
                                    std::promise<DWORD>* thread_id = nullptr) {
  return std::async(std::launch::async, [=] {
    if (thread_id) thread_id->set_value(GetCurrentThreadId());
    return MessageBoxW(nullptr, text.c_str(), caption.c_str(), type);
  });
}

// ---------------------------------------------------------------- message boxes

TEST_F(ModalWatcherTest, RecordsMessageBoxCaptionAndJapaneseText) {
  ModalWatcher watcher;

  EXPECT_EQ(MessageBoxW(nullptr, kJapaneseText, kJapaneseCaption, MB_OK | MB_ICONINFORMATION),
            IDOK);

  // Recorded before the answer went out, so it is there as soon as the box returns.
  const std::vector<DialogRecord> seen = watcher.Seen();
  ASSERT_THAT(seen, SizeIs(1));
  const DialogRecord& box = seen[0];
  EXPECT_EQ(box.caption, kJapaneseCaption);
  EXPECT_EQ(box.text, kJapaneseText);
  EXPECT_THAT(box.button_ids, ElementsAre(IDOK));
  EXPECT_EQ(box.default_id, IDOK);
  EXPECT_EQ(box.answer, IDOK);
  EXPECT_EQ(box.attempts, 1);
  EXPECT_EQ(box.thread_id, GetCurrentThreadId());
  EXPECT_TRUE(ExpectedDialog(watcher, kJapaneseCaption, kJapanesePart));
}

TEST_F(ModalWatcherTest, KeepsLineBreaksAndAmpersandsOfTheMessage) {
  ModalWatcher watcher;
  const wchar_t text[] = L"Frames: 10 & 20\nSecond line";

  EXPECT_EQ(MessageBoxW(nullptr, text, L"Lines", MB_OK), IDOK);

  ASSERT_THAT(watcher.Seen(), SizeIs(1));
  EXPECT_EQ(watcher.Seen()[0].text, text);
}

struct AnswerRow {
  const char* name;
  UINT type;
  int answer;  // given to SetAnswer; 0 for the default
  int expected_result;
  std::vector<int> buttons;
  int expected_default;
};

TEST_F(ModalWatcherTest, AnswersMessageBoxesWithTheChosenOrDefaultButton) {
  const AnswerRow rows[] = {
      {"OK", MB_OK, 0, IDOK, {IDOK}, IDOK},
      {"Yes/No, default", MB_YESNO, 0, IDYES, {IDYES, IDNO}, IDYES},
      {"Yes/No answered No", MB_YESNO, IDNO, IDNO, {IDYES, IDNO}, IDYES},
      {"OK/Cancel, second default", MB_OKCANCEL | MB_DEFBUTTON2, 0, IDCANCEL, {IDOK, IDCANCEL},
       IDCANCEL},
      {"Yes/No/Cancel, third default", MB_YESNOCANCEL | MB_DEFBUTTON3, 0, IDCANCEL,
       {IDYES, IDNO, IDCANCEL}, IDCANCEL},
      {"Yes/No/Cancel answered No", MB_YESNOCANCEL, IDNO, IDNO, {IDYES, IDNO, IDCANCEL}, IDYES},
      {"Abort/Retry/Ignore answered Ignore", MB_ABORTRETRYIGNORE | MB_DEFBUTTON2, IDIGNORE,
       IDIGNORE, {IDABORT, IDRETRY, IDIGNORE}, IDRETRY},
      {"Retry/Cancel, default", MB_RETRYCANCEL, 0, IDRETRY, {IDRETRY, IDCANCEL}, IDRETRY},
      // Wine's message box returns whatever it is sent, so an answer it has no button for must
      // not be sent at all.
      {"OK answered No", MB_OK, IDNO, IDOK, {IDOK}, IDOK},
      {"Yes/No answered Cancel", MB_YESNO, IDCANCEL, IDYES, {IDYES, IDNO}, IDYES},
  };
  for (const AnswerRow& row : rows) {
    SCOPED_TRACE(row.name);
    ModalWatcher watcher;
    watcher.SetAnswer(row.answer);

    EXPECT_EQ(MessageBoxW(nullptr, L"Apply the new frame size?", L"Answers",
                          row.type | MB_ICONQUESTION),
              row.expected_result);

    const std::vector<DialogRecord> seen = watcher.Seen();
    ASSERT_THAT(seen, SizeIs(1));
    // Button order on screen is the platform's business; the set is the message box type's.
    EXPECT_THAT(seen[0].button_ids, UnorderedElementsAreArray(row.buttons));
    EXPECT_EQ(seen[0].default_id, row.expected_default);
    EXPECT_EQ(seen[0].answer, row.expected_result);
  }
}

TEST_F(ModalWatcherTest, GivesQueuedAnswersInOrderThenTheStandingOne) {
  ModalWatcher watcher;
  watcher.QueueAnswer(IDNO);
  watcher.QueueAnswer(IDCANCEL);
  watcher.SetAnswer(IDYES);

  EXPECT_EQ(MessageBoxW(nullptr, L"first", L"One", MB_YESNOCANCEL), IDNO);
  EXPECT_EQ(MessageBoxW(nullptr, L"second", L"Two", MB_YESNOCANCEL), IDCANCEL);
  EXPECT_EQ(MessageBoxW(nullptr, L"third", L"Three", MB_YESNOCANCEL), IDYES);

  const std::vector<DialogRecord> seen = watcher.Seen();
  ASSERT_THAT(seen, SizeIs(3));
  EXPECT_EQ(seen[0].caption, L"One");
  EXPECT_EQ(seen[0].sequence, 0u);
  EXPECT_EQ(seen[1].caption, L"Two");
  EXPECT_EQ(seen[1].sequence, 1u);
  EXPECT_EQ(seen[2].caption, L"Three");
  EXPECT_EQ(seen[2].sequence, 2u);

  watcher.Clear();
  EXPECT_THAT(watcher.Seen(), IsEmpty());
  EXPECT_EQ(MessageBoxW(nullptr, L"fourth", L"Four", MB_OK), IDOK);
  ASSERT_THAT(watcher.Seen(), SizeIs(1));
  EXPECT_EQ(watcher.Seen()[0].caption, L"Four");
  EXPECT_EQ(watcher.Seen()[0].sequence, 3u);
}

TEST_F(ModalWatcherTest, AnswersAMessageBoxOfAnotherThread) {
  ModalWatcher watcher;
  std::promise<DWORD> thread_id;
  std::future<DWORD> box_thread = thread_id.get_future();

  std::future<int> result =
      MessageBoxOnThread(L"From a worker", L"Worker", MB_OKCANCEL, &thread_id);

  ASSERT_TRUE(watcher.WaitFor(1));
  ASSERT_EQ(result.wait_for(kShortWait), std::future_status::ready);
  EXPECT_EQ(result.get(), IDOK);
  const std::vector<DialogRecord> seen = watcher.Seen();
  ASSERT_THAT(seen, SizeIs(1));
  EXPECT_EQ(seen[0].caption, L"Worker");
  EXPECT_EQ(seen[0].text, L"From a worker");
  EXPECT_EQ(seen[0].thread_id, box_thread.get());
  EXPECT_NE(seen[0].thread_id, GetCurrentThreadId());
}

// ---------------------------------------------------------------- dialogs

// An in-memory dialog template: DLGTEMPLATE, caption and font, then DWORD-aligned items.
class DialogTemplate {
 public:
  static constexpr WORD kButton = 0x0080;
  static constexpr WORD kEdit = 0x0081;
  static constexpr WORD kStatic = 0x0082;

  explicit DialogTemplate(std::wstring_view caption) {
    PutDword(DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU);
    PutDword(0);  // extended style
    words_.push_back(0);  // item count, kept up to date by Add
    words_.insert(words_.end(), {10, 10, 200, 100});
    words_.push_back(0);  // no menu
    words_.push_back(0);  // the dialog class
    PutString(caption);
    words_.push_back(9);  // point size
    PutString(L"MS Shell Dlg");
  }

  DialogTemplate& Add(WORD atom, int id, std::wstring_view text, DWORD style,
                      bool visible = true) {
    while (words_.size() % 2) words_.push_back(0);
    const short y = static_cast<short>(8 + 14 * words_[kCountIndex]);
    PutDword(WS_CHILD | (visible ? WS_VISIBLE : 0) | style);
    PutDword(0);
    words_.insert(words_.end(), {8, static_cast<WORD>(y), 180, 12, static_cast<WORD>(id)});
    words_.insert(words_.end(), {0xFFFF, atom});
    PutString(text);
    words_.push_back(0);  // no creation data
    ++words_[kCountIndex];
    return *this;
  }

  const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  static constexpr std::size_t kCountIndex = 4;

  void PutDword(DWORD value) {
    words_.push_back(LOWORD(value));
    words_.push_back(HIWORD(value));
  }
  void PutString(std::wstring_view text) {
    words_.insert(words_.end(), text.begin(), text.end());
    words_.push_back(0);
  }

  std::vector<WORD> words_;
};

constexpr int kLabelId = 100;

// What the test dialog does: the label text it sets while initialising, its default button,
// and the commands that end it (with their id).
struct DialogScript {
  std::wstring label_text;
  int set_default_id = 0;
  std::vector<int> ends_on = {IDOK, IDCANCEL};
  // Asked from the IDOK handler; the dialog then ends with the question's answer.
  bool confirm_on_ok = false;
  // Opened from the IDOK handler instead; the dialog then ends with its result.
  const DialogTemplate* nested = nullptr;
  DialogScript* nested_script = nullptr;
  // How long the thread stays busy once the dialog has ended: hiding a window can block this
  // long under Wine without a window manager.
  DWORD busy_after_end_ms = 0;
  std::function<void(HWND)> on_init;
  // Filled in: whether the dialog could take input when its first command came.
  bool commanded = false;
  bool enabled_when_commanded = false;
};

INT_PTR RunDialog(const DialogTemplate& dialog, DialogScript& script, HWND owner = nullptr);

INT_PTR CALLBACK ScriptedDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* script = reinterpret_cast<DialogScript*>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      script = reinterpret_cast<DialogScript*>(lparam);
      SetWindowLongPtrW(dialog, DWLP_USER, lparam);
      if (!script->label_text.empty()) {
        SetDlgItemTextW(dialog, kLabelId, script->label_text.c_str());
      }
      if (script->set_default_id) SendMessageW(dialog, DM_SETDEFID, script->set_default_id, 0);
      if (script->on_init) script->on_init(dialog);
      return TRUE;
    case WM_COMMAND: {
      if (!script) return FALSE;
      if (!script->commanded) script->enabled_when_commanded = IsWindowEnabled(dialog);
      script->commanded = true;
      const int id = LOWORD(wparam);
      if (script->confirm_on_ok && id == IDOK) {
        EndDialog(dialog, MessageBoxW(dialog, L"Discard the changes?", L"Confirm", MB_YESNO));
      } else if (script->nested && id == IDOK) {
        EndDialog(dialog, RunDialog(*script->nested, *script->nested_script, dialog));
      } else if (std::find(script->ends_on.begin(), script->ends_on.end(), id) !=
                 script->ends_on.end()) {
        EndDialog(dialog, id);
        Sleep(script->busy_after_end_ms);
      }
      return TRUE;
    }
    default:
      return FALSE;
  }
}

INT_PTR RunDialog(const DialogTemplate& dialog, DialogScript& script, HWND owner) {
  return DialogBoxIndirectParamW(GetModuleHandleW(nullptr), dialog.get(), owner,
                                 ScriptedDialogProc, reinterpret_cast<LPARAM>(&script));
}

std::vector<std::pair<int, std::wstring>> IdsAndTexts(const std::vector<DialogControl>& controls) {
  std::vector<std::pair<int, std::wstring>> out;
  for (const DialogControl& control : controls) out.emplace_back(control.id, control.text);
  return out;
}

TEST_F(ModalWatcherTest, RecordsTheTextsOfAModalDialogAndPressesItsDefaultButton) {
  DialogTemplate dialog(L"Camera settings");
  dialog.Add(DialogTemplate::kStatic, kLabelId, L"placeholder", SS_LEFT)
      .Add(DialogTemplate::kStatic, 101, L"Frame size:", SS_LEFT)
      .Add(DialogTemplate::kEdit, 102, L"640x480", ES_LEFT | WS_BORDER)
      .Add(DialogTemplate::kStatic, 103, L"hidden note", SS_LEFT, /*visible=*/false)
      .Add(DialogTemplate::kButton, IDOK, L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP)
      .Add(DialogTemplate::kButton, IDCANCEL, L"Cancel", BS_PUSHBUTTON | WS_TABSTOP);
  DialogScript script;
  script.label_text = kJapaneseText;  // what the user sees is set during initialisation
  ModalWatcher watcher;

  EXPECT_EQ(RunDialog(dialog, script), IDOK);

  const std::vector<DialogRecord> seen = watcher.Seen();
  ASSERT_THAT(seen, SizeIs(1));
  const DialogRecord& record = seen[0];
  EXPECT_EQ(record.caption, L"Camera settings");
  EXPECT_EQ(record.text, std::wstring(kJapaneseText) + L"\nFrame size:");
  EXPECT_THAT(IdsAndTexts(record.controls),
              ElementsAre(Pair(kLabelId, kJapaneseText), Pair(101, L"Frame size:"),
                          Pair(102, L"640x480"), Pair(IDOK, L"OK"), Pair(IDCANCEL, L"Cancel")));
  EXPECT_EQ(record.controls[2].class_name, L"Edit");
  EXPECT_THAT(record.button_ids, ElementsAre(IDOK, IDCANCEL));
  EXPECT_EQ(record.default_id, IDOK);
  EXPECT_EQ(record.answer, IDOK);
  EXPECT_EQ(record.attempts, 1);
  EXPECT_TRUE(ExpectedDialog(watcher, L"Camera settings", L"Frame size"));
}

struct DialogRow {
  const char* name;
  std::vector<std::pair<int, DWORD>> buttons;  // id and style
  int set_default_id;                          // sent as DM_SETDEFID while initialising
  int answer;                                  // given to SetAnswer; 0 for the default
  int expected_default;
  int expected_result;
};

TEST_F(ModalWatcherTest, ChoosesTheButtonForADialog) {
  constexpr int kApply = 1000;
  constexpr int kDetails = 1001;
  const DialogRow rows[] = {
      {"answer given", {{IDOK, BS_DEFPUSHBUTTON}, {IDCANCEL, 0}}, 0, IDCANCEL, IDOK, IDCANCEL},
      {"default set by DM_SETDEFID", {{IDOK, 0}, {kApply, 0}, {IDCANCEL, 0}}, kApply, 0, kApply,
       kApply},
      {"no default: Cancel", {{kDetails, 0}, {IDCANCEL, 0}}, 0, 0, 0, IDCANCEL},
      {"no default, no Cancel: OK", {{kDetails, 0}, {IDOK, 0}}, 0, 0, IDOK, IDOK},
      {"disabled button is not pressed", {{IDOK, BS_DEFPUSHBUTTON | WS_DISABLED}, {IDCANCEL, 0}},
       0, IDOK, 0, IDCANCEL},
  };
  for (const DialogRow& row : rows) {
    SCOPED_TRACE(row.name);
    DialogTemplate dialog(L"Choice");
    dialog.Add(DialogTemplate::kStatic, kLabelId, L"Pick one", SS_LEFT);
    DialogScript script;
    script.set_default_id = row.set_default_id;
    for (const auto& [id, style] : row.buttons) {
      dialog.Add(DialogTemplate::kButton, id, L"button", style | WS_TABSTOP);
      script.ends_on.push_back(id);
    }
    ModalWatcher watcher;
    watcher.SetAnswer(row.answer);

    EXPECT_EQ(RunDialog(dialog, script), row.expected_result);

    const std::vector<DialogRecord> seen = watcher.Seen();
    ASSERT_THAT(seen, SizeIs(1));
    EXPECT_EQ(seen[0].default_id, row.expected_default);
    EXPECT_EQ(seen[0].answer, row.expected_result);
  }
}

TEST_F(ModalWatcherTest, InsistsUntilTheDialogCloses) {
  DialogTemplate dialog(L"Stubborn");
  dialog.Add(DialogTemplate::kStatic, kLabelId, L"Busy", SS_LEFT)
      .Add(DialogTemplate::kButton, IDOK, L"OK", BS_DEFPUSHBUTTON)
      .Add(DialogTemplate::kButton, IDCANCEL, L"Cancel", 0);
  ModalWatcher watcher;

  {
    SCOPED_TRACE("ignores OK, obeys Cancel");
    DialogScript script;
    script.ends_on = {IDCANCEL};
    EXPECT_EQ(RunDialog(dialog, script), IDCANCEL);
    ASSERT_THAT(watcher.Seen(), SizeIs(1));
    EXPECT_EQ(watcher.Seen()[0].answer, IDOK);
    EXPECT_EQ(watcher.Seen()[0].attempts, 2);
  }
  {
    SCOPED_TRACE("ignores every command and the close box");
    DialogScript script;
    script.ends_on = {};
    EXPECT_EQ(RunDialog(dialog, script), IDOK);
    ASSERT_THAT(watcher.Seen(), SizeIs(2));
    EXPECT_EQ(watcher.Seen()[1].answer, IDOK);
    EXPECT_EQ(watcher.Seen()[1].attempts, 4);
  }
}

TEST_F(ModalWatcherTest, AnswersAMessageBoxOpenedByADialogInTurn) {
  DialogTemplate dialog(L"Editor");
  dialog.Add(DialogTemplate::kStatic, kLabelId, L"Unsaved changes", SS_LEFT)
      .Add(DialogTemplate::kButton, IDOK, L"Close", BS_DEFPUSHBUTTON)
      .Add(DialogTemplate::kButton, IDCANCEL, L"Cancel", 0);
  DialogScript script;
  script.confirm_on_ok = true;
  ModalWatcher watcher;
  watcher.QueueAnswer(IDOK);
  watcher.QueueAnswer(IDNO);

  EXPECT_EQ(RunDialog(dialog, script), IDNO);

  const std::vector<DialogRecord> seen = watcher.Seen();
  ASSERT_THAT(seen, SizeIs(2));
  EXPECT_EQ(seen[0].caption, L"Editor");
  EXPECT_EQ(seen[0].answer, IDOK);
  EXPECT_EQ(seen[0].attempts, 1);
  EXPECT_EQ(seen[1].caption, L"Confirm");
  EXPECT_EQ(seen[1].text, L"Discard the changes?");
  EXPECT_EQ(seen[1].answer, IDNO);
}

TEST_F(ModalWatcherTest, LetsAnAnsweredDialogCloseBeforeInsistingOnTheOneBelow) {
  // The inner dialog re-enables its owner as it ends, then keeps the thread busy for longer than
  // the watcher waits before insisting.
  DialogTemplate inner(L"Options");
  inner.Add(DialogTemplate::kStatic, kLabelId, L"Apply now?", SS_LEFT)
      .Add(DialogTemplate::kButton, IDOK, L"OK", BS_DEFPUSHBUTTON);
  DialogScript inner_script;
  inner_script.busy_after_end_ms = 1500;
  DialogTemplate outer(L"Editor");
  outer.Add(DialogTemplate::kStatic, kLabelId, L"Settings", SS_LEFT)
      .Add(DialogTemplate::kButton, IDOK, L"Options...", BS_DEFPUSHBUTTON)
      .Add(DialogTemplate::kButton, IDCANCEL, L"Cancel", 0);
  DialogScript outer_script;
  outer_script.nested = &inner;
  outer_script.nested_script = &inner_script;
  ModalWatcher watcher;

  EXPECT_EQ(RunDialog(outer, outer_script), IDOK);

  const std::vector<DialogRecord> seen = watcher.Seen();
  ASSERT_THAT(seen, SizeIs(2));
  EXPECT_EQ(seen[0].caption, L"Editor");
  EXPECT_EQ(seen[0].attempts, 1);
  EXPECT_EQ(seen[1].caption, L"Options");
  EXPECT_EQ(seen[1].attempts, 1);
}

TEST_F(ModalWatcherTest, LeavesADialogDisabledByAnotherThreadsBoxUntilThatBoxCloses) {
  DialogTemplate dialog(L"Editor");
  dialog.Add(DialogTemplate::kStatic, kLabelId, L"Settings", SS_LEFT)
      .Add(DialogTemplate::kButton, IDOK, L"OK", BS_DEFPUSHBUTTON);
  std::future<int> box;
  DialogScript script;
  // A worker asks a question owned by the dialog, which disables it meanwhile. The dialog is
  // shown only once that has happened, so the watcher never finds it enabled before.
  script.on_init = [&box](HWND owner) {
    box = std::async(std::launch::async, [owner] {
      return MessageBoxW(owner, L"Connection lost", L"Worker", MB_OKCANCEL);
    });
    for (int i = 0; i < 500 && IsWindowEnabled(owner); ++i) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_SENDMESSAGE);
      MSG message;
      PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    ASSERT_FALSE(IsWindowEnabled(owner));
  };
  ModalWatcher watcher;

  EXPECT_EQ(RunDialog(dialog, script), IDOK);

  ASSERT_EQ(box.wait_for(kShortWait), std::future_status::ready);
  EXPECT_EQ(box.get(), IDOK);
  EXPECT_TRUE(script.enabled_when_commanded);
  EXPECT_TRUE(ExpectedDialog(watcher, L"Worker", L"Connection lost"));
  EXPECT_TRUE(ExpectedDialog(watcher, L"Editor", L"Settings"));
}

// ---------------------------------------------------------------- what is not recorded

TEST_F(ModalWatcherTest, RecordsNothingWhenNoDialogIsShown) {
  ModalWatcher watcher;
  // A visible window that is not a dialog, and a dialog that is never shown.
  HWND plain = CreateWindowExW(0, L"Static", L"not a dialog", WS_POPUP | WS_VISIBLE, 0, 0, 100, 40,
                               nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(plain, nullptr);
  DialogTemplate hidden_template(L"Hidden");
  hidden_template.Add(DialogTemplate::kButton, IDOK, L"OK", BS_DEFPUSHBUTTON);
  DialogScript script;
  HWND hidden = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), hidden_template.get(),
                                           nullptr, ScriptedDialogProc,
                                           reinterpret_cast<LPARAM>(&script));
  ASSERT_NE(hidden, nullptr);

  // A few looks of the watcher's own, each of which saw both windows.
  ASSERT_TRUE(watcher.WaitForLooks(3));
  EXPECT_FALSE(watcher.WaitFor(1, 0ms));
  EXPECT_TRUE(NoDialogs(watcher));
  EXPECT_TRUE(IsWindow(hidden));

  DestroyWindow(hidden);
  DestroyWindow(plain);
}

TEST_F(ModalWatcherTest, LeavesDialogsOfOtherProcessesAlone) {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  ASSERT_GT(length, 0u);
  std::wstring peer(path, length);
  peer.replace(peer.find_last_of(L"\\/") + 1, std::wstring::npos, L"modal_watcher_peer.exe");
  ModalWatcher watcher;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  ASSERT_TRUE(CreateProcessW(peer.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &process))
      << "cannot start " << ::testing::PrintToString(peer) << ", error " << GetLastError();
  CloseHandle(process.hThread);
  // Ends the peer on the way out, whatever happens to the test.
  struct PeerGuard {
    HANDLE process;
    ~PeerGuard() {
      if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) TerminateProcess(process, 1);
      CloseHandle(process);
    }
  } peer_guard{process.hProcess};

  const DWORD peer_id = process.dwProcessId;
  HWND box = WaitForDialogWindow([&](DWORD owner, DWORD) { return owner == peer_id; }, 20s);
  ASSERT_NE(box, nullptr) << "the peer's message box did not appear";
  // The watcher's own polls, each with the box in sight.
  ASSERT_TRUE(watcher.WaitForLooks(3));

  EXPECT_TRUE(NoDialogs(watcher));
  EXPECT_TRUE(IsWindowVisible(box));
  // An answer the watcher had sent would be ahead of this one in the box's queue, and the peer
  // would exit with it (OK, the box's default) instead.
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  ASSERT_EQ(WaitForSingleObject(process.hProcess, 10000), WAIT_OBJECT_0) << "the peer did not exit";
  DWORD exit_code = 0;
  GetExitCodeProcess(process.hProcess, &exit_code);
  EXPECT_EQ(exit_code, static_cast<DWORD>(IDCANCEL));
}

// ---------------------------------------------------------------- Sync and the destructor

TEST_F(ModalWatcherTest, SyncRecordsWhatIsOpenBeforeItReturns) {
  ModalWatcher watcher(std::chrono::hours(1));  // only Sync looks
  ASSERT_TRUE(watcher.Sync());
  std::promise<DWORD> thread_id;
  std::future<DWORD> box_thread = thread_id.get_future();
  std::future<int> result = MessageBoxOnThread(L"Look now", L"Sync", MB_OK, &thread_id);
  const DWORD thread = box_thread.get();
  ASSERT_NE(WaitForDialogWindow([&](DWORD, DWORD owner) { return owner == thread; }, kShortWait),
            nullptr);
  ASSERT_THAT(watcher.Seen(), IsEmpty());

  ASSERT_TRUE(watcher.Sync());

  EXPECT_THAT(watcher.Seen(), SizeIs(1));
  ASSERT_EQ(result.wait_for(kShortWait), std::future_status::ready);
  EXPECT_EQ(result.get(), IDOK);
}

TEST_F(ModalWatcherTest, DestructorAnswersWhatIsStillOpen) {
  auto watcher = std::make_unique<ModalWatcher>(std::chrono::hours(1));
  ASSERT_TRUE(watcher->Sync());
  std::promise<DWORD> thread_id;
  std::future<DWORD> box_thread = thread_id.get_future();
  std::future<int> result = MessageBoxOnThread(L"Still open", L"Late", MB_YESNO, &thread_id);
  const DWORD thread = box_thread.get();
  HWND box = WaitForDialogWindow([&](DWORD, DWORD owner) { return owner == thread; }, kShortWait);
  ASSERT_NE(box, nullptr);
  ASSERT_THAT(watcher->Seen(), IsEmpty());

  watcher.reset();

  // The destructor waits for what it answered on other threads to close.
  EXPECT_FALSE(IsWindowVisible(box));
  ASSERT_EQ(result.wait_for(kShortWait), std::future_status::ready);
  EXPECT_EQ(result.get(), IDYES);
}

// ---------------------------------------------------------------- the assertion helpers

TEST_F(ModalWatcherTest, ExpectedDialogMatchesCaptionExactlyAndTextInPart) {
  ModalWatcher watcher(std::chrono::hours(1));  // only the helper's own looks
  ASSERT_TRUE(watcher.Sync());
  // Shown only once the helper has looked and found nothing: it has to wait for the box.
  std::future<int> result = std::async(std::launch::async, [&watcher] {
    if (!watcher.WaitForLooks(1, kGuardDeadline)) return -1;
    return MessageBoxW(nullptr, L"Save changes to the settings?", L"Camera", MB_OK);
  });

  EXPECT_TRUE(ExpectedDialog(watcher, L"Camera", L"changes to", kGuardDeadline / 2));
  ASSERT_EQ(result.wait_for(kShortWait), std::future_status::ready);
  EXPECT_EQ(result.get(), IDOK);

  const ::testing::AssertionResult wrong_caption =
      ExpectedDialog(watcher, L"Camera settings", L"changes", 100ms);
  EXPECT_FALSE(wrong_caption);
  EXPECT_THAT(wrong_caption.message(), HasSubstr("\"Camera\": \"Save changes to the settings?\""));
  EXPECT_FALSE(ExpectedDialog(watcher, L"Camera", L"Discard", 100ms));
  EXPECT_FALSE(NoDialogs(watcher));
}

TEST_F(ModalWatcherTest, ExpectedDialogFailsWhenNothingWasShown) {
  ModalWatcher watcher;

  const ::testing::AssertionResult result = ExpectedDialog(watcher, L"Camera", L"", 300ms);

  EXPECT_FALSE(result);
  EXPECT_THAT(result.message(), HasSubstr("no dialog was seen"));
}

TEST_F(ModalWatcherTest, ExpectedDialogLooksOnceMoreAtItsDeadline) {
  // A box already open that the watcher has not looked at, as when its thread is slow to run.
  ModalWatcher watcher(std::chrono::hours(1));
  ASSERT_TRUE(watcher.Sync());
  std::promise<DWORD> thread_id;
  std::future<DWORD> box_thread = thread_id.get_future();
  std::future<int> result = MessageBoxOnThread(L"Still there", L"Late", MB_OK, &thread_id);
  const DWORD thread = box_thread.get();
  ASSERT_NE(WaitForDialogWindow([&](DWORD, DWORD owner) { return owner == thread; }, kShortWait),
            nullptr);
  ASSERT_THAT(watcher.Seen(), IsEmpty());

  EXPECT_TRUE(ExpectedDialog(watcher, L"Late", L"Still", 0ms));
  ASSERT_EQ(result.wait_for(kShortWait), std::future_status::ready);
  EXPECT_EQ(result.get(), IDOK);
}

}  // namespace
}  // namespace zu::test
