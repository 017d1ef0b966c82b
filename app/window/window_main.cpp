// vettrix-window: the main window. `vettrix` (no arguments, --form FILE, or
// an address) starts it. An address given is typed and checked as the window
// opens. --address and --screenshot are for documentation and checks: type an
// address, click "Check Source", select the first finding and save a picture
// of the window.

#include <QApplication>
#include <QTimer>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "app/version.h"
#include "app/window/launch.h"
#include "app/window/main_window.h"
#include "platform/text/utf8.h"

namespace {

constexpr const char* kUsage =
    "usage: vettrix [--form FILE] [ADDRESS]\n"
    "       vettrix-window [--form FILE] [ADDRESS | --address ADDRESS [--screenshot PNG]]\n";

constexpr const char* kHelp =
    "Opens the Vettrix window. With an ADDRESS (a web address, a file: URL or a\n"
    "path) the window checks it at once, as if it was typed and Enter pressed.\n"
    "\n"
    "  --form FILE          build the window from this form file\n"
    "  --address ADDRESS    check ADDRESS and select its first finding\n"
    "  --screenshot PNG     then save a picture of the window and quit\n"
    "  --help               this text\n"
    "  --version            the versions of Vettrix and of libcurl\n"
    "\n"
    "Keys: Ctrl+L the address, Ctrl+F find, Ctrl+G go to a line, Ctrl+Q quit,\n"
    "F1 this program's help. `vettrix check --help` tells the command line.\n";

struct Options {
  std::optional<std::string> form;
  std::optional<std::string> address;
  std::optional<std::string> screenshot;
  bool select_first = false;  // --address: the first finding selected, for pictures
  bool done = false;          // --help or --version was answered
};

// nullopt after printing a usage error.
std::optional<Options> Parse(int argc, char** argv) {
  Options o;
  std::optional<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    if (a == "--help" || a == "-h") {
      std::cout << kUsage << "\n" << kHelp;
      o.done = true;
      return o;
    }
    if (a == "--version") {
      std::cout << vx::app::VersionText();
      o.done = true;
      return o;
    }
    // A desktop entry's %U may pass several; the window checks the first.
    if (!a.starts_with("-") || a == "-") {
      if (!positional) positional = std::string(a);
      continue;
    }
    std::optional<std::string>* target = nullptr;
    std::string_view name;
    for (auto [flag, slot] : {std::pair{std::string_view("--form"), &o.form},
                              std::pair{std::string_view("--address"), &o.address},
                              std::pair{std::string_view("--screenshot"), &o.screenshot}}) {
      if (a == flag || (a.starts_with(flag) && a.size() > flag.size() && a[flag.size()] == '=')) {
        target = slot;
        name = flag;
      }
    }
    if (target == nullptr) {
      std::cerr << "vettrix: unknown argument '" << vx::text::EscapeForDisplay(a) << "'\n"
                << kUsage;
      return std::nullopt;
    }
    if (a.size() > name.size()) {
      *target = std::string(a.substr(name.size() + 1));
    } else if (i + 1 < argc) {
      *target = argv[++i];
    } else {
      std::cerr << "vettrix: " << name << " needs a value\n" << kUsage;
      return std::nullopt;
    }
  }
  o.select_first = o.address.has_value();
  if (positional && o.address) {
    std::cerr << "vettrix: give the address once, with or without --address\n" << kUsage;
    return std::nullopt;
  }
  if (positional) o.address = positional;
  if (o.screenshot && !o.address) {
    std::cerr << "vettrix: --screenshot needs --address\n" << kUsage;
    return std::nullopt;
  }
  return o;
}

// The toolkit ends the program when it cannot reach the display it was given
// (a stale DISPLAY, say): that is our "no display" case, told in our words.
void OnToolkitMessage(QtMsgType type, const QMessageLogContext&, const QString& text) {
  if (type != QtFatalMsg) {
    std::cerr << text.toStdString() << "\n";
    return;
  }
  std::cerr << "vettrix: cannot open the window: " << text.toStdString() << "\n"
            << "Check a page without the window: vettrix check ADDRESS (see vettrix --help).\n";
  std::_Exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<Options> options = Parse(argc, argv);
  if (!options) return 64;
  if (options->done) return std::cout.flush() ? 0 : 2;
  if (!vx::window::HaveDisplay()) {
    std::cerr << vx::window::NoDisplayMessage(options->address.value_or("")) << "\n";
    return 2;
  }
  const QtMessageHandler previous = qInstallMessageHandler(OnToolkitMessage);
  QApplication app(argc, argv);
  qInstallMessageHandler(previous);
  QApplication::setOrganizationName(QStringLiteral("Vettrix"));
  QApplication::setApplicationName(QStringLiteral("Vettrix"));
  QApplication::setDesktopFileName(QStringLiteral("vettrix"));
  vx::window::AddBundledFonts();

  std::optional<vx::window::MainWindow> window;
  try {
    const vx::window::FormDefinition form =
        options->form ? vx::window::LoadFormFile(*options->form) : vx::window::BuiltInForm();
    window.emplace(form);
  } catch (const vx::window::FormError& e) {
    std::cerr << "vettrix: " << e.what() << "\n";
    return 2;
  }
  window->show();

  int status = 0;
  if (options->address) {
    QTimer::singleShot(0, &*window, [&] {
      window->Text1().SetText(*options->address);
      window->CmdCheck().Press();
      if (options->select_first && window->ListView1().topLevelItemCount() > 0) {
        window->ListView1().setCurrentItem(window->ListView1().topLevelItem(0));
      }
      if (!options->screenshot) return;
      window->Text1().setFocus();
      QApplication::processEvents();
      if (!window->grab().save(QString::fromStdString(*options->screenshot), "PNG")) {
        std::cerr << "vettrix: cannot write " << vx::text::EscapeForDisplay(*options->screenshot)
                  << "\n";
        status = 2;
      }
      QApplication::quit();
    });
  }
  const int code = QApplication::exec();
  return status != 0 ? status : code;
}
