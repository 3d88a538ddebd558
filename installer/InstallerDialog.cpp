// InstallerDialog.cpp - start, OK, Add..., the about item and the minimised icon.
#include "InstallerDialog.h"

#include "GladewickVersion.h"
#include "Deployment.h"
#include "HostDetection.h"
#include "resource.h"

#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace plugferry {
namespace {

constexpr int kVersionMajor = GW_VERSION_MAJOR;
constexpr int kVersionMinor = GW_VERSION_MINOR;

std::string Format(const char* pFormat, const char* pName)
{
    char szText[512];
    std::snprintf(szText, sizeof(szText), pFormat, pName);
    return szText;
}

std::string ListItem(HWND hList, int nIndex)
{
    const LRESULT nLength = SendMessageA(hList, LB_GETTEXTLEN, nIndex, 0);
    if (nLength == LB_ERR) {
        return std::string();
    }
    std::string text(static_cast<std::size_t>(nLength) + 1, '\0');
    SendMessageA(hList, LB_GETTEXT, nIndex, reinterpret_cast<LPARAM>(text.data()));
    text.resize(std::strlen(text.c_str()));
    return text;
}

std::string InstructionsText(bool bRemoveMode)
{
    const std::string name = kProductName;
    std::string text =
        "Installation has detected the following image processing applications on your system.\n";
    if (bRemoveMode) {
        text += "Click OK to REMOVE " + name + " from the following directories.\n"
              + "Click Add to specify additional places from which remove " + name + ".";
    } else {
        text += "Click OK to copy " + name + " to the following directories.\n"
              + "Click Add to specify additional places to copy " + name + ".";
    }
    return text;
}

/// COM for the folder browser, for the dialog's lifetime.
class CComScope
{
public:
    CComScope() noexcept : m_bInitialised(SUCCEEDED(CoInitialize(nullptr))) {}
    ~CComScope()
    {
        if (m_bInitialised) {
            CoUninitialize();
        }
    }
    CComScope(const CComScope&) = delete;
    CComScope& operator=(const CComScope&) = delete;

private:
    bool m_bInitialised;
};

INT_PTR CALLBACK AboutProc(HWND hDlg, UINT nMessage, WPARAM wParam, LPARAM) noexcept
{
    switch (nMessage) {
    case WM_INITDIALOG: {
        char szText[128];
        std::snprintf(szText, sizeof(szText), "%s Version %d.%d", kProductName, kVersionMajor,
                      kVersionMinor);
        SetDlgItemTextA(hDlg, IDC_VERSION, szText);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(hDlg, LOWORD(wParam));
            return TRUE;
        }
        break;
    default:
        break;
    }
    return FALSE;
}

} // namespace

bool IsRemoveCommand(const char* pCommandLine) noexcept
{
    return pCommandLine != nullptr && lstrcmpiA(pCommandLine, "remove") == 0;
}

CInstallerDialog::CInstallerDialog(HINSTANCE hInstance, bool bRemoveMode) noexcept
    : m_hInstance(hInstance), m_bRemoveMode(bRemoveMode)
{}

INT_PTR CInstallerDialog::Run() noexcept
{
    const CComScope com;
    return DialogBoxParamA(m_hInstance, MAKEINTRESOURCEA(IDD_PLUGFERRY_DIALOG), nullptr, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CInstallerDialog::DialogProc(HWND hDlg, UINT nMessage, WPARAM wParam,
                                              LPARAM lParam) noexcept
{
    if (nMessage == WM_INITDIALOG) {
        SetWindowLongPtrA(hDlg, DWLP_USER, lParam);
    }
    auto* pThis = reinterpret_cast<CInstallerDialog*>(GetWindowLongPtrA(hDlg, DWLP_USER));
    if (pThis == nullptr) {
        return FALSE;
    }
    // Nothing below may let an exception reach the system's dialog code.
    try {
        switch (nMessage) {
        case WM_INITDIALOG:
            pThis->OnInitDialog(hDlg);
            return TRUE;
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED) {
                pThis->OnCommand(LOWORD(wParam));
                return TRUE;
            }
            break;
        case WM_SYSCOMMAND:
            return pThis->OnSysCommand(wParam) ? TRUE : FALSE;
        case WM_PAINT:
            return pThis->OnPaint() ? TRUE : FALSE;
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(pThis->m_hIcon);
        default:
            break;
        }
    } catch (...) {
        MessageBoxA(hDlg, "Out of memory.", kProductName, MB_OK | MB_ICONSTOP);
    }
    return FALSE;
}

void CInstallerDialog::OnInitDialog(HWND hDlg)
{
    m_hWnd = hDlg;

    char szAbout[128] = {};
    if (LoadStringA(m_hInstance, IDS_ABOUTBOX, szAbout, sizeof(szAbout)) > 0) {
        if (const HMENU hMenu = GetSystemMenu(hDlg, FALSE)) {
            AppendMenuA(hMenu, MF_SEPARATOR, 0, nullptr);
            AppendMenuA(hMenu, MF_STRING, IDM_ABOUTBOX, szAbout);
        }
    }

    SetWindowTextA(hDlg, Format(m_bRemoveMode ? "Remove %s plugin file" : "Install %s plugin file",
                                kProductName)
                             .c_str());

    // Shared icons belong to the system's cache: nothing to destroy.
    m_hIcon = static_cast<HICON>(LoadImageA(m_hInstance, MAKEINTRESOURCEA(IDR_MAINFRAME),
                                            IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
    m_hSmallIcon = static_cast<HICON>(LoadImageA(m_hInstance, MAKEINTRESOURCEA(IDR_MAINFRAME),
                                                 IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                 GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    SendMessageA(hDlg, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageA(hDlg, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hSmallIcon));

    SetDlgItemTextA(hDlg, IDC_LOCATION_LABEL,
                    Format("%s is installed at the following location:", kProductName).c_str());
    SetDlgItemTextA(hDlg, IDC_INSTRUCTIONS, InstructionsText(m_bRemoveMode).c_str());

    m_productLocation = DetectPluginFolders(hDlg, m_bRemoveMode);
}

void CInstallerDialog::OnCommand(WORD nId)
{
    switch (nId) {
    case IDOK:
        OnOK();
        break;
    case IDCANCEL:
        EndDialog(m_hWnd, IDCANCEL);
        break;
    case IDC_ADD:
        OnAdd();
        break;
    default:
        break;
    }
}

bool CInstallerDialog::OnSysCommand(WPARAM nCommand)
{
    if ((nCommand & 0xFFF0) != IDM_ABOUTBOX) {
        return false;
    }
    DialogBoxParamA(m_hInstance, MAKEINTRESOURCEA(IDD_ABOUTBOX), m_hWnd, AboutProc, 0);
    return true;
}

bool CInstallerDialog::OnPaint()
{
    if (!IsIconic(m_hWnd)) {
        return false;
    }
    PAINTSTRUCT paint{};
    const HDC hDC = BeginPaint(m_hWnd, &paint);
    SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(hDC), 0);
    RECT client{};
    GetClientRect(m_hWnd, &client);
    const int nIconWidth = GetSystemMetrics(SM_CXICON);
    const int nIconHeight = GetSystemMetrics(SM_CYICON);
    const int x = (client.right - client.left - nIconWidth + 1) / 2;
    const int y = (client.bottom - client.top - nIconHeight + 1) / 2;
    DrawIcon(hDC, x, y, m_hIcon);
    EndPaint(m_hWnd, &paint);
    return true;
}

void CInstallerDialog::OnOK()
{
    bool bDelete = m_bRemoveMode;
    if (!m_bRemoveMode && GetAsyncKeyState(VK_MENU) < 0) {
        const std::string question =
            Format("Holding the Alt key requests DELETE of installed %s plugin files.\n\n"
                   "Is this what you want to do?",
                   kProductName);
        if (MessageBoxA(m_hWnd, question.c_str(), kProductName, MB_YESNO | MB_ICONQUESTION)
            != IDYES) {
            return;
        }
        bDelete = true;
    }

    if (TransferAll(bDelete)) {
        EndDialog(m_hWnd, IDOK);
        return;
    }
    if (bDelete) {
        MessageBoxA(m_hWnd,
                    "One or more delete operations failed. Please check file and directory "
                    "permissions or delete the plugin file manually.",
                    "Delete Failed", MB_OK | MB_ICONSTOP);
    } else {
        MessageBoxA(m_hWnd,
                    "The copy failed. Please check file and directory permissions or copy the "
                    "plugin file manually.",
                    "Copy Failed", MB_OK | MB_ICONSTOP);
    }
}

bool CInstallerDialog::TransferAll(bool bDelete)
{
    const HWND hList = GetDlgItem(m_hWnd, IDC_TARGET_LIST);
    const int nCount = static_cast<int>(SendMessageA(hList, LB_GETCOUNT, 0, 0));
    bool bAllSucceeded = true;
    for (int i = 0; i < nCount; ++i) {
        const std::string folder = ListItem(hList, i);
        DWORD nError = 0;
        if (bDelete) {
            // A target beyond the path limit fails on its own; it is never cut.
            const std::string target = JoinPath(folder, kPluginFileName);
            if (target.empty() || !RemoveCopy(target, &nError)) {
                bAllSucceeded = false;
            }
            continue;
        }
        // Each editor gets the plug-in it can load: its entry knows the bitness.
        const auto bitness = static_cast<Bitness>(SendMessageA(hList, LB_GETITEMDATA, i, 0));
        if (!CopyInto(folder, InstalledPluginFor(bitness, m_productLocation), &nError)) {
            bAllSucceeded = false;
        }
    }
    return bAllSucceeded;
}

void CInstallerDialog::OnAdd()
{
    BROWSEINFOA browse{};
    browse.lpszTitle = "Choose a folder to receive the Gladewick plug-in.";
    const PIDLIST_ABSOLUTE pItems = SHBrowseForFolderA(&browse);
    if (pItems == nullptr) {
        return;
    }
    char szPath[MAX_PATH] = {};
    const BOOL bHavePath = SHGetPathFromIDListA(pItems, szPath);
    CoTaskMemFree(pItems);
    if (!bHavePath) {
        return;
    }
    const HWND hList = GetDlgItem(m_hWnd, IDC_TARGET_LIST);
    AddTarget(hList, szPath, Bitness::Unknown);
    SetListExtent(hList);
}

} // namespace plugferry
