#include "ui/windows/preview_window.h"

#include <algorithm>
#include <filesystem>

#include "platform/windows/wide_strings.h"
#include "ui/common/preview_texts.h"
#include "ui/windows/dialog_font.h"

namespace pagewash::win32 {
namespace {

using platform::windows::toWide;

constexpr wchar_t kWindowClass[] = L"PagewashPreview";
constexpr UINT kResultReady = WM_APP + 1;
enum ButtonId { kPreviousId = 1, kNextId, kFitId, kActualId };
constexpr int kMargin = 8;
constexpr int kFontPoints = 9;
constexpr int kLineStep = 40;  // pixels per scroll-bar arrow click

std::wstring windowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

void registerClass() {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    if (GetClassInfoExW(GetModuleHandleW(nullptr), kWindowClass, &windowClass)) return;
    windowClass.lpfnWndProc = DefWindowProcW;  // replaced per window in WM_NCCREATE
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassExW(&windowClass);
}

}  // namespace

PreviewWindow::PreviewWindow(HWND owner) {
    registerClass();
    m_window = CreateWindowExW(0, kWindowClass, toWide(kPreviewTitle).c_str(),
                               WS_OVERLAPPEDWINDOW | WS_HSCROLL | WS_VSCROLL | WS_CLIPCHILDREN, CW_USEDEFAULT,
                               CW_USEDEFAULT, 1000, 720, owner, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(m_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(windowProc));
    createControls();
    layOut();
    updateScrollBars();
    m_worker = std::make_unique<PreviewWorker>([this](PreviewResult result) {
        // Worker thread: leave the result in the slot and wake the window, touching nothing else.
        {
            std::scoped_lock lock(m_deliveredMutex);
            m_delivered = std::move(result);
        }
        PostMessageW(m_window, kResultReady, 0, 0);
    });
}

PreviewWindow::~PreviewWindow() {
    m_worker.reset();
    SetWindowLongPtrW(m_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DefWindowProcW));
    DestroyWindow(m_window);
    if (m_font != nullptr) DeleteObject(m_font);
}

void PreviewWindow::createControls() {
    HDC screen = GetDC(m_window);
    const int fontHeight = -MulDiv(kFontPoints, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(m_window, screen);
    m_font =
        CreateFontW(fontHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, dialogFontFace().c_str());
    m_rowHeight = -fontHeight * 2 + 6;
    auto make = [this](const wchar_t* className, const std::string& text, DWORD style, int id) {
        HWND control = CreateWindowExW(0, className, toWide(text).c_str(), WS_CHILD | WS_VISIBLE | style, 0,
                                       0, 10, 10, m_window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                       GetModuleHandleW(nullptr), nullptr);
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), FALSE);
        return control;
    };
    m_previousButton = make(L"BUTTON", kPreviousImageText, BS_PUSHBUTTON | WS_DISABLED, kPreviousId);
    m_nextButton = make(L"BUTTON", kNextImageText, BS_PUSHBUTTON | WS_DISABLED, kNextId);
    m_fitButton = make(L"BUTTON", kFitText, BS_PUSHBUTTON, kFitId);
    m_actualButton = make(L"BUTTON", kActualSizeText, BS_PUSHBUTTON, kActualId);
    m_imageLabel = make(L"STATIC", "", SS_LEFT | SS_CENTERIMAGE, 0);
    m_sizeLabel = make(L"STATIC", "", SS_LEFT | SS_CENTERIMAGE, 0);
    m_stateLabel = make(L"STATIC", "", SS_LEFT | SS_CENTERIMAGE, 0);
    m_beforeCaption = make(L"STATIC", kBeforeCaption, SS_CENTER, 0);
    m_afterCaption = make(L"STATIC", kAfterCaption, SS_CENTER, 0);
}

void PreviewWindow::layOut() {
    RECT client = {};
    GetClientRect(m_window, &client);
    const int width = client.right;
    const int button = m_rowHeight * 3;
    int x = kMargin;
    auto place = [&](HWND control, int controlWidth) {
        MoveWindow(control, x, kMargin, controlWidth, m_rowHeight, TRUE);
        x += controlWidth + kMargin;
    };
    place(m_previousButton, button);
    place(m_nextButton, button);
    place(m_imageLabel, m_rowHeight * 6);
    place(m_sizeLabel, m_rowHeight * 7);
    // The state takes what is left, so that the zoom buttons end at the right margin.
    place(m_stateLabel, std::max(button, width - x - 2 * button - 3 * kMargin));
    place(m_fitButton, button);
    place(m_actualButton, button);
    const int captionTop = 2 * kMargin + m_rowHeight;
    const int half = (width - 3 * kMargin) / 2;
    MoveWindow(m_beforeCaption, kMargin, captionTop, half, m_rowHeight, TRUE);
    MoveWindow(m_afterCaption, 2 * kMargin + half, captionTop, half, m_rowHeight, TRUE);
}

RECT PreviewWindow::paneRect(int pane) const {
    RECT client = {};
    GetClientRect(m_window, &client);
    const int top = 3 * kMargin + 2 * m_rowHeight;
    const int half = (client.right - 3 * kMargin) / 2;
    const int left = kMargin + pane * (half + kMargin);
    return {left, top, left + std::max(half, 0), std::max(top, static_cast<int>(client.bottom) - kMargin)};
}

void PreviewWindow::paint() {
    PAINTSTRUCT paintStruct;
    HDC context = BeginPaint(m_window, &paintStruct);
    SetStretchBltMode(context, HALFTONE);
    SetBrushOrgEx(context, 0, 0, nullptr);
    for (int pane = 0; pane < 2; ++pane) {
        const Picture& picture = pane == 0 ? m_before : m_after;
        const RECT area = paneRect(pane);
        FillRect(context, &area, GetSysColorBrush(COLOR_APPWORKSPACE));
        if (picture.width == 0) continue;
        const int areaWidth = area.right - area.left;
        const int areaHeight = area.bottom - area.top;
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = picture.width;
        info.bmiHeader.biHeight = -picture.height;  // top-down
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        const int saved = SaveDC(context);
        IntersectClipRect(context, area.left, area.top, area.right, area.bottom);
        if (m_actualSize) {
            StretchDIBits(context, area.left - m_scrollX, area.top - m_scrollY, picture.width, picture.height,
                          0, 0, picture.width, picture.height, picture.pixels.data(), &info, DIB_RGB_COLORS,
                          SRCCOPY);
        } else {
            const double scale = std::min(static_cast<double>(areaWidth) / picture.width,
                                          static_cast<double>(areaHeight) / picture.height);
            const int shownWidth = std::max(1, static_cast<int>(picture.width * scale));
            const int shownHeight = std::max(1, static_cast<int>(picture.height * scale));
            StretchDIBits(context, area.left + (areaWidth - shownWidth) / 2,
                          area.top + (areaHeight - shownHeight) / 2, shownWidth, shownHeight, 0, 0,
                          picture.width, picture.height, picture.pixels.data(), &info, DIB_RGB_COLORS,
                          SRCCOPY);
        }
        RestoreDC(context, saved);
    }
    EndPaint(m_window, &paintStruct);
}

void PreviewWindow::updateScrollBars() {
    const RECT area = paneRect(0);
    const int imageWidth = std::max(m_before.width, m_after.width);
    const int imageHeight = std::max(m_before.height, m_after.height);
    const bool scrolls = m_actualSize && imageWidth > 0;
    auto set = [&](int bar, int size, int page, int& offset) {
        offset = scrolls ? std::clamp(offset, 0, std::max(0, size - page)) : 0;
        SCROLLINFO info = {sizeof(info),
                           SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL,
                           0,
                           scrolls ? size - 1 : 0,
                           static_cast<UINT>(scrolls ? page : 1),
                           offset,
                           0};
        SetScrollInfo(m_window, bar, &info, TRUE);
    };
    set(SB_HORZ, imageWidth, area.right - area.left, m_scrollX);
    set(SB_VERT, imageHeight, area.bottom - area.top, m_scrollY);
}

void PreviewWindow::scroll(int bar, int request, int wheelDelta) {
    SCROLLINFO info = {sizeof(info), SIF_ALL, 0, 0, 0, 0, 0};
    GetScrollInfo(m_window, bar, &info);
    int position = info.nPos;
    switch (request) {
        case SB_LINEUP:
            position -= kLineStep;
            break;
        case SB_LINEDOWN:
            position += kLineStep;
            break;
        case SB_PAGEUP:
            position -= static_cast<int>(info.nPage);
            break;
        case SB_PAGEDOWN:
            position += static_cast<int>(info.nPage);
            break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION:
            position = info.nTrackPos;
            break;
        default:
            position -= wheelDelta * kLineStep / WHEEL_DELTA;
            break;
    }
    (bar == SB_HORZ ? m_scrollX : m_scrollY) = position;
    updateScrollBars();
    InvalidateRect(m_window, nullptr, FALSE);
}

LRESULT CALLBACK PreviewWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<PreviewWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    return self != nullptr ? self->handleMessage(message, wParam, lParam)
                           : DefWindowProcW(window, message, wParam, lParam);
}

LRESULT PreviewWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CLOSE:
            ShowWindow(m_window, SW_HIDE);
            return 0;
        case WM_SIZE:
            layOut();
            updateScrollBars();
            InvalidateRect(m_window, nullptr, TRUE);
            return 0;
        case WM_PAINT:
            paint();
            return 0;
        case WM_HSCROLL:
        case WM_VSCROLL:
            scroll(message == WM_HSCROLL ? SB_HORZ : SB_VERT, LOWORD(wParam));
            return 0;
        case WM_MOUSEWHEEL:
            scroll(SB_VERT, -1, GET_WHEEL_DELTA_WPARAM(wParam));
            return 0;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case kPreviousId:
                    showPrevious();
                    break;
                case kNextId:
                    showNext();
                    break;
                case kFitId:
                case kActualId:
                    m_actualSize = LOWORD(wParam) == kActualId;
                    updateScrollBars();
                    InvalidateRect(m_window, nullptr, FALSE);
                    break;
                default:
                    break;
            }
            return 0;
        case kResultReady: {
            std::optional<PreviewResult> result;
            {
                std::scoped_lock lock(m_deliveredMutex);
                result.swap(m_delivered);
            }
            if (result) showResult(std::move(*result));
            return 0;
        }
        default:
            return DefWindowProcW(m_window, message, wParam, lParam);
    }
}

void PreviewWindow::showFile(const std::string& path, const CorrectionSettings& settings) {
    const PreviewRequest request = m_navigation.open(path, settings);
    const std::filesystem::path name(toWide(path));
    SetWindowTextW(m_window,
                   toWide(previewTitle(platform::windows::toUtf8(name.filename().wstring()))).c_str());
    requestPreview(request);
    ShowWindow(m_window, SW_SHOW);
    SetForegroundWindow(m_window);
}

void PreviewWindow::setSettings(const CorrectionSettings& settings) {
    if (const std::optional<PreviewRequest> request = m_navigation.changeSettings(settings))
        requestPreview(*request);
}

void PreviewWindow::showPrevious() {
    if (const std::optional<PreviewRequest> request = m_navigation.previous()) requestPreview(*request);
}

void PreviewWindow::showNext() {
    if (const std::optional<PreviewRequest> request = m_navigation.next()) requestPreview(*request);
}

std::wstring PreviewWindow::imageText() const { return windowText(m_imageLabel); }
std::wstring PreviewWindow::sizeText() const { return windowText(m_sizeLabel); }
std::wstring PreviewWindow::stateText() const { return windowText(m_stateLabel); }

void PreviewWindow::requestPreview(const PreviewRequest& request) {
    EnableWindow(m_previousButton, FALSE);
    EnableWindow(m_nextButton, FALSE);
    SetWindowTextW(m_stateLabel, toWide(kComputingText).c_str());
    m_worker->request(request);
}

namespace {

// A displayable image (gray or RGB) as 32-bit BGRX pixels.
std::vector<std::uint32_t> toDibPixels(const DecodedImage& image) {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(image.width) *
                                      static_cast<std::size_t>(image.height));
    const std::uint8_t* in = image.pixels.get();
    for (std::uint32_t& pixel : pixels) {
        if (image.components == 1) {
            pixel = 0x010101u * in[0];
            in += 1;
        } else {
            pixel =
                (static_cast<std::uint32_t>(in[0]) << 16) | (static_cast<std::uint32_t>(in[1]) << 8) | in[2];
            in += 3;
        }
    }
    return pixels;
}

}  // namespace

void PreviewWindow::showResult(PreviewResult result) {
    // Newer settings or another image are on the way.
    if (!m_navigation.accept(result.generation, result.index, result.count)) return;
    if (result.before != m_beforeSource) {
        m_before = result.before
                       ? Picture{result.before->width, result.before->height, toDibPixels(*result.before)}
                       : Picture{};
        m_beforeSource = result.before;
    }
    if (result.after == result.before) {
        m_after = m_before;
    } else {
        m_after = result.after
                      ? Picture{result.after->width, result.after->height, toDibPixels(*result.after)}
                      : Picture{};
    }
    EnableWindow(m_previousButton, m_navigation.hasPrevious());
    EnableWindow(m_nextButton, m_navigation.hasNext());
    const int index = m_navigation.index();
    const int count = m_navigation.count();
    if (!result.failure.empty()) {
        SetWindowTextW(m_imageLabel, count > 0 ? toWide(imagePositionText(index, count)).c_str() : L"");
        SetWindowTextW(m_sizeLabel, L"");
        SetWindowTextW(m_stateLabel, toWide(result.failure).c_str());
    } else {
        SetWindowTextW(m_imageLabel,
                       toWide(imagePositionText(index, count, m_after.width, m_after.height)).c_str());
        SetWindowTextW(m_sizeLabel, toWide(byteSizesText(result.bytesBefore, result.bytesAfter)).c_str());
        SetWindowTextW(m_stateLabel, L"");
    }
    updateScrollBars();
    InvalidateRect(m_window, nullptr, FALSE);
}

}  // namespace pagewash::win32
