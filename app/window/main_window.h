#pragma once

// Form1: the main window, created from its stored definition. It binds the
// check run to its controls and routes the user's actions: a click on
// CmdCheck and Enter in Text1 start a run, a double-click on the findings list
// copies the selected finding's label into Text4, and selecting a finding
// highlights where its rule matched in the source box.

#include <QElapsedTimer>
#include <QFileDialog>
#include <QIcon>
#include <QLabel>
#include <QShortcut>
#include <QTimer>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/cli_report.h"
#include "app/window/check_binding.h"
#include "app/window/controls.h"
#include "app/window/form_definition.h"
#include "app/window/source_box.h"
#include "app/window/status_line.h"
#include "button/qt/button_widget.h"
#include "button/qt/container.h"

namespace vx::window {

// The definition built into the program.
FormDefinition BuiltInForm();

// Adds the platform look-alike faces (Tahoma) to the application's fonts when
// they are installed; the desktop's font configuration often leaves them out.
void AddBundledFonts();

class MainWindow : public qt::FormWidget {
  Q_OBJECT

 public:
  // Creates every control of `form`. Throws FormError when the definition
  // lacks what the window needs or names a picture that cannot be loaded.
  explicit MainWindow(const FormDefinition& form, net::FetchOptions fetch_options = {});
  ~MainWindow() override;

  // A control by name (nullptr when there is none, or it has no window);
  // the host's Control(int) stays in view beside it.
  using qt::FormWidget::Control;
  QWidget* Control(std::string_view name) const;

  LineBox& Text1() const { return *text1_; }
  SourceBox& Text2() const { return *text2_; }
  LineBox& Text3() const { return *text3_; }
  LineBox& Text4() const { return *text4_; }
  FindingsView& ListView1() const { return *list_; }
  QLabel& Label4() const { return *label4_; }
  qt::ButtonWidget& CmdCheck() const { return *cmd_check_; }
  ThreadedFetcher& Inet1() { return fetcher_; }
  // Under the form's client area, which it leaves as it is: the window is
  // taller than the form by its height.
  StatusLine& Status() const { return *status_; }

  // The handlers. A run started while another waits or yields runs inside
  // it, as the event loop delivers the click, and replaces it.
  void CmdCheck_Click();
  void Text1_KeyDown(int key_code, int shift);
  void ListView1_DblClick();
  void find(app::SourceView& source, const std::string& findtext, app::SourceView& display,
            const std::string& lil_desc, const std::string& description);

  // Check runs under way (more than one when nested).
  int runsUnderWay() const { return runs_; }

  // Esc: gives up the fetches under way; their runs end as "Cancelled".
  void CancelFetch();
  // The last check's findings as `vettrix check --format json|csv` writes
  // them for its address. False, with the reason, when the file cannot be
  // written.
  bool SaveFindings(const QString& path, app::cli::Format format, std::string& error) const;
  // "Save findings…": asks for a file, then saves.
  void SaveFindingsAs();
  // The dialog it asks with: a file name made from the checked address, and
  // the extension of the chosen format added to a name typed without one.
  QFileDialog* MakeSaveFindingsDialog();
  // The rule set the checks apply: "classic" (the twenty, the default),
  // "modern", "all", or "file" with the rule file's path. A set that cannot
  // be had (a rule file that cannot be read or used) leaves the chosen one
  // as it was, says why in the status line and returns false. The choice is
  // kept in the settings, for the next window.
  bool ChooseRuleSet(const QString& name, const QString& file = {});
  const QString& ruleSetName() const { return rule_set_name_; }
  const QString& ruleFile() const { return rule_file_; }
  // Why the last choice could not be made, "" when it was.
  const QString& ruleSetError() const { return rule_set_error_; }
  // The context menu's "Rule file…": asks for a file, then chooses it.
  void ChooseRuleFileFromDialog();
  QFileDialog* MakeRuleFileDialog();
  // Settings keys.
  static constexpr const char* kRuleSetKey = "Findings/ruleSet";
  static constexpr const char* kRuleFileKey = "Findings/ruleFile";
  // F1: what the window is, its version and its keys.
  void ShowHelp();
  static QString HelpText();
  // Keys that work from every control of the window.
  QShortcut* Shortcut(const QKeySequence& keys) const;

 signals:
  void runFinished();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  // What building the controls keeps until every one is made.
  struct Building {
    std::map<std::string, QIcon, std::less<>> image_lists;
    std::map<std::string, qt::ContainerWidget*, std::less<>> frames;
    std::vector<std::pair<int, QWidget*>> tab_stops;  // tab index, control
    std::vector<QWidget*> untabbed;                   // focusable, without a tab index
  };
  // The control `c` in `container`: its widget, or nullptr for a control
  // without a window (registered by name all the same).
  QWidget* MakeControl(const FormDefinition& form, const ControlDef& c,
                       qt::ContainerWidget& container, Building& building);
  QWidget* MakeTextBox(const ControlDef& c, qt::ContainerWidget& container);
  QWidget* MakeLabel(const ControlDef& c, qt::ContainerWidget& container);
  QWidget* MakeListView(const ControlDef& c, qt::ContainerWidget& container,
                        const Building& building);
  QWidget* MakeButton(const ControlDef& c, qt::ContainerWidget& container);
  // Name, place, font, accessible name, focus and stacking of a made control.
  void SetUpControl(const FormDefinition& form, const ControlDef& c, QWidget& w,
                    qt::ContainerWidget& container, Building& building);
  // Tab order by tab index, then the focusable controls without one.
  static void ChainTabOrder(Building& building);
  // Labels linked to the controls they name, for assistive technology.
  void LinkLabels(const FormDefinition& form);
  // Controls that reach their container's right or bottom edge follow it.
  void AnchorToEdges(const FormDefinition& form);
  // The check run on the window's controls, and the handlers that start it.
  void BindCheckRun();
  void HighlightSelectedFinding();
  void ShowProgress();
  void ShowOutcome(const std::string& address, const app::RunOutcome& outcome, qint64 ms);
  void KeepReport(const std::string& address, const app::RunOutcome& outcome);
  // The form's own client area: the window without the status line.
  QSize ClientSize() const;
  // The stored size is the smallest the window gets, unless the screen is
  // smaller (a high scale factor): then the screen's size, so that the
  // status line stays in view.
  void FitMinimumToScreen();
  void AddWindowKeys();

  // How a control follows the window when it is made larger than the stored
  // size: one that reaches the right (bottom) edge of its container grows
  // with it, a picture there moves along instead.
  struct Anchor {
    QWidget* widget;
    QWidget* container;
    QRect stored;
    QSize container_stored;
    bool grow_width = false;
    bool grow_height = false;
    bool move_x = false;
  };
  std::vector<Anchor> anchors_;
  QSize stored_size_;
  // The findings list's width and last column's width at the stored size:
  // the column takes what the list gains beyond it.
  int list_stored_width_ = 0;
  int last_column_stored_width_ = 0;
  std::vector<QShortcut*> window_keys_;
  bool screen_watched_ = false;

  ThreadedFetcher fetcher_;
  std::map<std::string, QWidget*, std::less<>> controls_;
  LineBox* text1_ = nullptr;
  SourceBox* text2_ = nullptr;
  LineBox* text3_ = nullptr;
  LineBox* text4_ = nullptr;
  FindingsView* list_ = nullptr;
  QLabel* label4_ = nullptr;
  qt::ButtonWidget* cmd_check_ = nullptr;
  std::unique_ptr<LabelCaption> label4_caption_;
  std::unique_ptr<app::Checker> checker_;
  // The chosen rule set and its rule file; the set itself is the checker's.
  QString rule_set_name_ = QStringLiteral("classic");
  QString rule_file_;
  QString rule_set_error_;
  int runs_ = 0;
  StatusLine* status_ = nullptr;
  QTimer progress_timer_;
  QShortcut* cancel_key_ = nullptr;
  std::string fetching_;  // the address of the newest run
  // The address the source box's text was fetched from; nullopt while it
  // holds no fetched page.
  std::optional<std::string> source_address_;
  // The last finished check, as the command line would report it.
  std::string report_address_;
  app::cli::Outcome report_;
  std::shared_ptr<const app::check::RuleSet> report_rules_;  // none: the twenty
};

}  // namespace vx::window
