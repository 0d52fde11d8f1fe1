// zelvor-x11-probe: looks at and drives the demonstration window from outside
// the program, for scripts and end-to-end tests. A single-threaded tool with
// its own X connection; it shares no code with the window layer, so what it
// reports is what the X server shows.
//
// Usage:
//   zelvor-x11-probe [--display NAME] [--prefix TEXT] [--timeout SECONDS] COMMAND [ARGUMENTS]
//
// The window is the first one, searched through the whole window tree, whose
// title (_NET_WM_NAME as UTF-8, else WM_NAME) starts with TEXT (default
// "Zelvor"); viewable windows are preferred. Every command except wait-gone
// first waits up to SECONDS (default 10) for that window to exist.
//
// Commands:
//   wait                  wait for the window; print its X id as 0x... .
//   title                 print its title, UTF-8, and a newline.
//   geometry              print "WIDTH HEIGHT X Y": client size and where the
//                         client origin lies on the root window.
//   screenshot FILE       save the client area as an 8-bit RGB PNG (waits
//                         until the window is viewable).
//   pointer X Y           move the pointer to client coordinates X, Y (may be
//                         negative or past the window).
//   close                 ask the window to close as a window manager's close
//                         button does (a WM_DELETE_WINDOW ClientMessage).
//   wait-gone             wait up to SECONDS until no such window exists.
//
// Exit status: 0 done; 1 no window in time (wait-gone: still there);
// 2 bad command line; 3 the display, the X request or the file failed.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <png.h>

#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int exitDone = 0;
constexpr int exitNoWindow = 1;
constexpr int exitUsage = 2;
constexpr int exitFailure = 3;

// A window that closes between our requests must not end the probe through
// Xlib's default handler; the request's own result reports the failure.
int ignoreXError(Display*, XErrorEvent*) { return 0; }

struct DisplayCloser {
  void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayPointer = std::unique_ptr<Display, DisplayCloser>;

struct XFreeDeleter {
  void operator()(void* data) const { XFree(data); }
};

struct ImageDestroyer {
  void operator()(XImage* image) const { XDestroyImage(image); }
};

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

struct Options {
  const char* display = nullptr;
  std::string prefix = "Zelvor";
  double timeoutSeconds = 10;
  std::vector<std::string> command;
};

void printUsage() {
  std::fputs(
      "usage: zelvor-x11-probe [--display NAME] [--prefix TEXT] [--timeout SECONDS] COMMAND [ARGUMENTS]\n"
      "commands: wait | title | geometry | screenshot FILE | pointer X Y | close | wait-gone\n",
      stderr);
}

std::optional<Options> parseOptions(int argc, char** argv) {
  Options options;
  int i = 1;
  for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; ++i) {
    const std::string option = argv[i];
    if (i + 1 >= argc) return std::nullopt;
    const char* const value = argv[++i];
    if (option == "--display") {
      options.display = value;
    } else if (option == "--prefix") {
      options.prefix = value;
    } else if (option == "--timeout") {
      char* end = nullptr;
      options.timeoutSeconds = std::strtod(value, &end);
      if (end == value || *end != '\0' || options.timeoutSeconds < 0) return std::nullopt;
    } else {
      return std::nullopt;
    }
  }
  for (; i < argc; ++i) options.command.emplace_back(argv[i]);
  if (options.command.empty()) return std::nullopt;
  return options;
}

std::optional<long> parseInteger(const std::string& text) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0') return std::nullopt;
  return value;
}

// The window's title: _NET_WM_NAME (UTF-8) if set, else WM_NAME as stored.
std::optional<std::string> titleOf(Display* display, Window window) {
  const Atom netWmName = XInternAtom(display, "_NET_WM_NAME", False);
  for (const Atom property : {netWmName, static_cast<Atom>(XA_WM_NAME)}) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, property, 0, 4096, False, AnyPropertyType, &type, &format, &count,
                           &remaining, &data) != Success) {
      continue;
    }
    const std::unique_ptr<unsigned char, XFreeDeleter> owned(data);
    if (type != None && format == 8 && data != nullptr) return std::string(reinterpret_cast<char*>(data), count);
  }
  return std::nullopt;
}

bool isViewable(Display* display, Window window) {
  XWindowAttributes attributes{};
  return XGetWindowAttributes(display, window, &attributes) != 0 && attributes.map_state == IsViewable;
}

void collectMatches(Display* display, Window window, const std::string& prefix, std::vector<Window>& matches) {
  const auto title = titleOf(display, window);
  if (title && title->compare(0, prefix.size(), prefix) == 0) matches.push_back(window);
  Window root = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned count = 0;
  if (XQueryTree(display, window, &root, &parent, &children, &count) == 0) return;
  const std::unique_ptr<Window, XFreeDeleter> owned(children);
  for (unsigned i = 0; i < count; ++i) collectMatches(display, children[i], prefix, matches);
}

std::optional<Window> findWindow(Display* display, const std::string& prefix, bool mustBeViewable) {
  std::vector<Window> matches;
  collectMatches(display, DefaultRootWindow(display), prefix, matches);
  for (const Window window : matches) {
    if (isViewable(display, window)) return window;
  }
  if (!mustBeViewable && !matches.empty()) return matches.front();
  return std::nullopt;
}

std::optional<Window> waitForWindow(Display* display, const Options& options, bool mustBeViewable) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(options.timeoutSeconds);
  for (;;) {
    if (const auto window = findWindow(display, options.prefix, mustBeViewable)) return window;
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

// One channel of a pixel, scaled from its mask's width to 8 bits.
std::uint8_t channel(unsigned long pixel, unsigned long mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  const unsigned long maximum = mask >> shift;
  return static_cast<std::uint8_t>(((pixel & mask) >> shift) * 255 / maximum);
}

// libpng reports errors by longjmp; this function keeps only trivially
// destructible locals between setjmp and the writes, so a jump skips no
// destructor.
bool writePng(std::FILE* file, int width, int height, const std::vector<png_bytep>& rows) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, const_cast<png_bytepp>(rows.data()));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

int screenshot(Display* display, Window window, const std::string& path) {
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(display, window, &attributes) == 0) return exitFailure;
  const std::unique_ptr<XImage, ImageDestroyer> image(
      XGetImage(display, window, 0, 0, static_cast<unsigned>(attributes.width),
                static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap));
  if (!image) {
    std::fputs("zelvor-x11-probe: XGetImage failed\n", stderr);
    return exitFailure;
  }
  const Visual& visual = *attributes.visual;
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(attributes.width) * attributes.height * 3);
  std::vector<png_bytep> rows(static_cast<std::size_t>(attributes.height));
  for (int y = 0; y < attributes.height; ++y) {
    std::uint8_t* row = pixels.data() + static_cast<std::size_t>(y) * attributes.width * 3;
    rows[y] = row;
    for (int x = 0; x < attributes.width; ++x) {
      const unsigned long pixel = XGetPixel(image.get(), x, y);
      row[3 * x] = channel(pixel, visual.red_mask);
      row[3 * x + 1] = channel(pixel, visual.green_mask);
      row[3 * x + 2] = channel(pixel, visual.blue_mask);
    }
  }
  const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  if (!file || !writePng(file.get(), attributes.width, attributes.height, rows)) {
    std::fprintf(stderr, "zelvor-x11-probe: cannot write %s\n", path.c_str());
    return exitFailure;
  }
  return exitDone;
}

int geometry(Display* display, Window window) {
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(display, window, &attributes) == 0) return exitFailure;
  int x = 0;
  int y = 0;
  Window child = 0;
  XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
  std::printf("%d %d %d %d\n", attributes.width, attributes.height, x, y);
  return exitDone;
}

int movePointer(Display* display, Window window, long x, long y) {
  XWarpPointer(display, None, window, 0, 0, 0, 0, static_cast<int>(x), static_cast<int>(y));
  XSync(display, False);
  return exitDone;
}

int requestClose(Display* display, Window window) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  if (XSendEvent(display, window, False, NoEventMask, &event) == 0) return exitFailure;
  XSync(display, False);
  return exitDone;
}

int waitGone(Display* display, const Options& options) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(options.timeoutSeconds);
  while (findWindow(display, options.prefix, false)) {
    if (std::chrono::steady_clock::now() >= deadline) return exitNoWindow;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return exitDone;
}

int run(const Options& options) {
  const std::vector<std::string>& command = options.command;
  const std::string& name = command[0];
  const std::size_t arguments = command.size() - 1;
  const bool known =
      ((name == "wait" || name == "title" || name == "geometry" || name == "close" || name == "wait-gone") &&
       arguments == 0) ||
      (name == "screenshot" && arguments == 1) || (name == "pointer" && arguments == 2);
  std::optional<long> pointerX;
  std::optional<long> pointerY;
  if (name == "pointer" && arguments == 2) {
    pointerX = parseInteger(command[1]);
    pointerY = parseInteger(command[2]);
  }
  if (!known || (name == "pointer" && (!pointerX || !pointerY))) {
    printUsage();
    return exitUsage;
  }

  XSetErrorHandler(ignoreXError);
  const DisplayPointer display(XOpenDisplay(options.display));
  if (!display) {
    std::fprintf(stderr, "zelvor-x11-probe: cannot open display \"%s\"\n", XDisplayName(options.display));
    return exitFailure;
  }
  if (name == "wait-gone") return waitGone(display.get(), options);

  const auto window = waitForWindow(display.get(), options, name == "screenshot");
  if (!window) {
    std::fprintf(stderr, "zelvor-x11-probe: no window titled \"%s...\"\n", options.prefix.c_str());
    return exitNoWindow;
  }
  if (name == "wait") {
    std::printf("0x%lx\n", *window);
    return exitDone;
  }
  if (name == "title") {
    const auto title = titleOf(display.get(), *window);
    if (!title) return exitFailure;
    std::printf("%s\n", title->c_str());
    return exitDone;
  }
  if (name == "geometry") return geometry(display.get(), *window);
  if (name == "screenshot") return screenshot(display.get(), *window, command[1]);
  if (name == "pointer") return movePointer(display.get(), *window, *pointerX, *pointerY);
  return requestClose(display.get(), *window);
}

}  // namespace

int main(int argc, char** argv) {
  const auto options = parseOptions(argc, argv);
  if (!options) {
    printUsage();
    return exitUsage;
  }
  return run(*options);
}
