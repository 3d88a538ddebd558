// main.cpp - gwhost: loads a filter plug-in and drives it as an image editor does.
//
//   gwhost info PLUGIN                    print the PiPL (and AETE) of the module
//   gwhost about PLUGIN                   call the about selector
//   gwhost apply PLUGIN IN OUT [options]  run the filter on a PGM/PPM image
//
// See Usage() for the options and Trace.h for the trace records.
#include "DialogScenario.h"
#include "FilterSession.h"
#include "HostServices.h"
#include "Pipl.h"
#include "PluginModule.h"
#include "Trace.h"
#include "WindowWatcher.h"

#include <algorithm>
#include <windows.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace gw::host {
namespace {

void Usage()
{
    std::fputs(
        "usage: gwhost info PLUGIN\n"
        "       gwhost about PLUGIN [options]\n"
        "       gwhost apply PLUGIN IN OUT [options]\n"
        "images: PGM/PPM, 8 or 16 bit (16-bit samples go to the plug-in as 0..32768)\n"
        "options:\n"
        "  --trace FILE          write the machine-readable trace\n"
        "  --mask FILE           selection mask (PGM of the image's size, 255 = selected)\n"
        "  --mode N              announce image mode N instead of the image's own\n"
        "  --dialog | --no-dialog | --silent   playInfo 1, 0 or 2 (default --dialog, or\n"
        "                        --no-dialog when parameters below are given)\n"
        "  --amount N --fill-light N --speed --quality --autoscale --no-autoscale\n"
        "                        keys of the descriptor played to the plug-in\n"
        "  --no-spbasic --no-uihooks --no-progress --no-abort --no-descriptors\n"
        "  --no-handleprocs --old-handleprocs --no-display --no-window\n"
        "                        withhold a service (play a minimal or older host)\n"
        "  --selectors LIST      call these selectors in order, e.g. 4 or 1,2,3,loop,5\n"
        "                        (loop = continue while pixels are requested)\n"
        "  --cancel-after N      cancel after N continue calls (finish is still called)\n"
        "  --dialog-action ok|cancel|leave   what to do with a dialog other than a message box\n"
        "  --dialog-delay MS     how long such a dialog stays open first (default 300)\n"
        "  --timeout S           end the process after S seconds (default 600, 0 = none)\n"
        "  --then IN OUT         then filter IN into OUT with the module still loaded\n"
        "                        (repeatable; the options above apply to every image)\n"
        "  --scenario FILE       drive the plug-in's dialogs as a person would (steps in\n"
        "                        DialogScenario.h); the dialogs it waits for are left to it\n"
        "exit status: 0 ran (plug-in results printed as \"result SELECTOR CODE\"),\n"
        "             1 host error, 2 the plug-in broke the protocol, 3 time limit,\n"
        "             4 unhandled exception in the process\n",
        stderr);
}

class UsageError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

std::int32_t ParseInt(const std::string& option, const std::string& text)
{
    std::int32_t value = 0;
    const auto [pEnd, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || pEnd != text.data() + text.size()) {
        throw UsageError(option + " needs a whole number, not \"" + text + "\"");
    }
    return value;
}

struct CommandLine
{
    std::string command;
    ApplyOptions apply;
    std::string trace;
    DialogAction dialogAction = DialogAction::Ok;
    int nDialogDelayMs = 300;
    int nTimeoutSeconds = 600;
    std::string scenario;
};

std::vector<std::string> SplitList(const std::string& text)
{
    std::vector<std::string> items;
    std::size_t nStart = 0;
    while (nStart <= text.size()) {
        const std::size_t nComma = text.find(',', nStart);
        const std::string item =
            text.substr(nStart, nComma == std::string::npos ? std::string::npos : nComma - nStart);
        if (item != "loop") {
            const std::int32_t n = ParseInt("--selectors", item);
            if (n < 0 || n > 32767) {
                throw UsageError("--selectors: " + item + " is not a selector");
            }
        }
        items.push_back(item);
        if (nComma == std::string::npos) {
            break;
        }
        nStart = nComma + 1;
    }
    return items;
}

CommandLine Parse(const std::vector<std::string>& args)
{
    if (args.size() < 2) {
        throw UsageError("missing command or plug-in");
    }
    CommandLine line;
    line.command = args[0];
    ApplyOptions& o = line.apply;
    o.plugin = args[1];
    std::size_t i = 2;
    if (line.command == "apply") {
        if (args.size() < 4) {
            throw UsageError("apply needs PLUGIN IN OUT");
        }
        o.input = args[2];
        o.output = args[3];
        i = 4;
    } else if (line.command != "info" && line.command != "about") {
        throw UsageError("unknown command \"" + line.command + "\"");
    }
    auto value = [&](const std::string& option) -> std::string {
        if (i + 1 >= args.size()) {
            throw UsageError(option + " needs a value");
        }
        return args[++i];
    };
    for (; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--trace")
            line.trace = value(a);
        else if (a == "--mask")
            o.mask = value(a);
        else if (a == "--mode")
            o.nMode = ParseInt(a, value(a));
        else if (a == "--dialog")
            o.nPlayInfo = plugInDialogDisplay;
        else if (a == "--no-dialog")
            o.nPlayInfo = plugInDialogDontDisplay;
        else if (a == "--silent")
            o.nPlayInfo = plugInDialogSilent;
        else if (a == "--amount")
            o.nAmount = ParseInt(a, value(a));
        else if (a == "--fill-light")
            o.nFillLight = ParseInt(a, value(a));
        else if (a == "--speed")
            o.bSpeed = true;
        else if (a == "--quality")
            o.bSpeed = false;
        else if (a == "--autoscale")
            o.bAutoScale = true;
        else if (a == "--no-autoscale")
            o.bAutoScale = false;
        else if (a == "--no-spbasic")
            o.bSPBasic = false;
        else if (a == "--no-uihooks")
            o.bUIHooks = false;
        else if (a == "--no-progress")
            o.bProgress = false;
        else if (a == "--no-abort")
            o.bAbortProc = false;
        else if (a == "--no-descriptors")
            o.bDescriptors = false;
        else if (a == "--no-handleprocs")
            o.bHandleProcs = false;
        else if (a == "--old-handleprocs")
            o.nHandleProcsCount = 7;
        else if (a == "--no-display")
            o.bDisplay = false;
        else if (a == "--no-window")
            o.bWindow = false;
        else if (a == "--selectors")
            o.sequence = SplitList(value(a));
        else if (a == "--cancel-after")
            o.nCancelAfter = ParseInt(a, value(a));
        else if (a == "--timeout")
            line.nTimeoutSeconds = ParseInt(a, value(a));
        else if (a == "--dialog-delay")
            line.nDialogDelayMs = ParseInt(a, value(a));
        else if (a == "--scenario")
            line.scenario = value(a);
        else if (a == "--then") {
            std::string input = value(a);
            o.further.emplace_back(std::move(input), value(a));
        } else if (a == "--dialog-action") {
            const std::string action = value(a);
            if (action == "ok")
                line.dialogAction = DialogAction::Ok;
            else if (action == "cancel")
                line.dialogAction = DialogAction::Cancel;
            else if (action == "leave")
                line.dialogAction = DialogAction::Leave;
            else
                throw UsageError("--dialog-action is ok, cancel or leave");
        } else
            throw UsageError("unknown option \"" + a + "\"");
    }
    // Parameters given without a play-information option are a recorded
    // action played back: the dialog is suppressed unless --dialog asks for it.
    const bool bPlayInfoGiven = std::any_of(args.begin(), args.end(), [](const std::string& a) {
        return a == "--dialog" || a == "--no-dialog" || a == "--silent";
    });
    if (!bPlayInfoGiven && (o.nAmount || o.nFillLight || o.bSpeed || o.bAutoScale)) {
        o.nPlayInfo = plugInDialogDontDisplay;
    }
    return line;
}

bool GetProcAddressOk(const CPluginModule& module, const std::string& name)
{
    try {
        return module.EntryPoint(name) != nullptr;
    } catch (const PluginLoadError&) {
        return false;
    }
}

int RunInfo(const CommandLine& line, CTrace& trace)
{
    // A module of the other architecture is read as data: its resources can
    // still be checked, its code cannot run here.
    CPluginModule module(line.apply.plugin, true, &trace);
    auto emit = [&](const std::string& text) {
        std::printf("%s\n", text.c_str());
        trace.Write(text);
    };
    if (module.IsDataOnly()) {
        emit(std::string("module mapped as data: built for another architecture than this ")
             + (CPluginModule::Is64Bit() ? "x64" : "x86") + " host");
    }
    const auto pipls = module.Resources("PIPL");
    if (pipls.empty()) {
        throw PluginLoadError("the module has no PIPL resource; it is not a filter plug-in");
    }
    for (const auto& resource : pipls) {
        emit("resource PIPL " + resource.name + " language " + std::to_string(resource.nLanguage)
             + " size " + std::to_string(resource.bytes.size()));
        const Pipl pipl = ParsePipl(resource.bytes);
        for (const std::string& text : DescribePipl(pipl)) {
            emit(text);
        }
        for (const bool b64Bit : {false, true}) {
            const std::string entry = EntryPointName(pipl, b64Bit);
            if (entry.empty()) {
                continue;
            }
            std::string state = "not callable by this host";
            if (b64Bit == CPluginModule::Is64Bit() && !module.IsDataOnly()) {
                state = GetProcAddressOk(module, entry) ? "exported" : "missing";
            }
            emit(std::string("entry ") + (b64Bit ? "'8664' " : "'wx86' ") + Quote(entry) + " "
                 + state);
        }
    }
    for (const auto& resource : module.Resources("AETE")) {
        emit("resource AETE " + resource.name + " language " + std::to_string(resource.nLanguage)
             + " size " + std::to_string(resource.bytes.size()));
        for (const std::string& text : DescribeAete(ParseAete(resource.bytes))) {
            emit(text);
        }
    }
    return kExitOk;
}

int RunAbout(const CommandLine& line, CTrace& trace)
{
    CPluginModule module(line.apply.plugin, false, &trace);
    const PluginEntryProc pEntry = FindFilterEntry(module, nullptr);
    HWND hWindow = line.apply.bWindow
                     ? CreateWindowExW(0, L"STATIC", L"gwhost", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                       CW_USEDEFAULT, 640, 480, nullptr, nullptr,
                                       GetModuleHandleW(nullptr), nullptr)
                     : nullptr;
    CHostServices services(trace, reinterpret_cast<intptr_t>(hWindow));
    services.OfferUIHooks(line.apply.bUIHooks);
    services.Activate();
    PlatformData platform{reinterpret_cast<intptr_t>(hWindow)};
    AboutRecord about{};
    about.platformData = &platform;
    about.sSPBasic = line.apply.bSPBasic ? services.BasicSuite() : nullptr;
    about.plugInRef = &about;
    intptr_t nData = 0;
    int16 nResult = 0;
    pEntry(filterSelectorAbout, &about, &nData, &nResult);
    std::printf("result 0 %d\n", nResult);
    trace.Write("selector 0 result " + std::to_string(nResult));
    if (hWindow) {
        DestroyWindow(hWindow);
    }
    return kExitOk;
}

CTrace* gCrashTrace = nullptr;

// A fault the plug-in does not handle itself ends gwhost with a report instead
// of a debugger or error window, which would hang an unattended run.
LONG WINAPI ReportCrash(EXCEPTION_POINTERS* pInfo)
{
    char text[160];
    std::snprintf(text, sizeof text, "unhandled exception 0x%08lX at %p; gwhost ends the process",
                  static_cast<unsigned long>(pInfo->ExceptionRecord->ExceptionCode),
                  pInfo->ExceptionRecord->ExceptionAddress);
    std::fprintf(stderr, "gwhost: %s\n", text);
    std::fflush(stderr);
    if (gCrashTrace) {
        gCrashTrace->Write("hosterror " + Quote(text));
    }
    TerminateProcess(GetCurrentProcess(), kExitCrash);
    return EXCEPTION_EXECUTE_HANDLER;
}

int Main(const std::vector<std::string>& args)
{
    CommandLine line;
    try {
        line = Parse(args);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "gwhost: %s\n", e.what());
        Usage();
        return kExitHostError;
    }
    CTrace trace;
    gCrashTrace = &trace;
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(ReportCrash);
    try {
        if (!line.trace.empty()) {
            trace.Open(line.trace);
        }
        trace.Write("host " + std::string(CPluginModule::Is64Bit() ? "x64" : "x86") + " command "
                    + line.command + " plugin " + Quote(line.apply.plugin));
        // The watcher outlives every call into the module that may show a window
        // (its attach code included).
        // A scenario drives the dialogs it names; the watcher still answers message boxes.
        std::optional<CDialogScenario> scenario;
        if (!line.scenario.empty())
            scenario.emplace(trace, line.scenario);
        CWindowWatcher watcher(trace, line.dialogAction, line.nDialogDelayMs, line.nTimeoutSeconds,
                               scenario ? scenario->Captions() : std::vector<std::string>{});
        if (scenario)
            scenario->Start();
        if (line.command == "info") {
            return RunInfo(line, trace);
        }
        return line.command == "about" ? RunAbout(line, trace) : RunApply(line.apply, trace);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "gwhost: %s\n", e.what());
        trace.Write("hosterror " + Quote(e.what()));
        return kExitHostError;
    }
}

} // namespace
} // namespace gw::host

int wmain(int argc, wchar_t** argv)
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const int n = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(static_cast<std::size_t>(n > 0 ? n - 1 : 0), '\0');
        WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, arg.data(), n, nullptr, nullptr);
        args.push_back(std::move(arg));
    }
    return gw::host::Main(args);
}
