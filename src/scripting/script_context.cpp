// script_context: starts and stops the process's one JavaScriptCore context,
// registers the natives and runs scripts with the parse-error report.
// Depends on JavaScriptCore, script_natives, script_geometry_exchange,
// script_run_cost, script_source_cache, script_text.
#include "scripting/script_context.h"

#include "scripting/script_geometry_exchange.h"
#include "scripting/script_natives.h"
#include "scripting/script_run_cost.h"
#include "scripting/script_source_cache.h"
#include "scripting/script_text.h"

#include <JavaScriptCore/JavaScript.h>
#include <cstdio>
#include <string>

namespace {

JSGlobalContextRef engine = nullptr; // the one script engine of the process; null while stopped
script_source_cache sources;         // parsed scripts of the texts run since the engine started

const char* const startup_script = "print ('Initilized');";

// The parse-error line. The parser's message says what it found wrong; a
// text nested too deeply for it gives no message, and the engine's error for
// it is the stack overflow's RangeError. Nothing here creates or converts an
// error object, so no toString or getter an earlier script put on the error
// prototypes can run during the report.
void print_parse_error(JSStringRef message)
{
    if (message && JSStringGetLength(message) > 0) {
        const std::string text = "SyntaxError: " + script_text_utf8(message);
        std::printf("SCRIPTING ENGINE ERROR: %s %s\n", " - syntax error - ", text.c_str());
    } else {
        std::printf("SCRIPTING ENGINE ERROR: %s %s\n", " - range error - ",
                    "RangeError: Maximum call stack size exceeded.");
    }
    std::fflush(stdout);
}

// Sets one native as a global function; false when the engine refuses it.
bool register_native(JSGlobalContextRef ctx, const script_native& native)
{
    JSStringRef name = JSStringCreateWithUTF8CString(native.name);
    JSObjectRef function = JSObjectMakeFunctionWithCallback(ctx, name, native.handler);
    JSValueRef exception = nullptr;
    JSObjectSetProperty(ctx, JSContextGetGlobalObject(ctx), name, function,
                        kJSPropertyAttributeNone, &exception);
    JSStringRelease(name);
    return exception == nullptr;
}

bool register_natives(JSGlobalContextRef ctx)
{
    for (const script_native* native = script_natives; native->name; ++native) {
        if (!register_native(ctx, *native)) {
            std::printf("Scripting Engine: Failed to add the '%s' function to the global scope\n",
                        native->name);
            std::fflush(stdout);
            return false;
        }
        std::printf("Scripting Engine: '%s' function added\n", native->name);
        std::fflush(stdout);
    }
    return true;
}

void stop_engine()
{
    if (!engine)
        return;
    script_geometry_exchange::uninstall(engine);
    sources.clear();
    JSGlobalContextRelease(engine);
    engine = nullptr;
}

} // namespace

bool script_context::init()
{
    ready = false;
    stop_engine(); // a second start begins from a fresh engine rather than leaking the first
    engine = JSGlobalContextCreate(nullptr);
    if (!script_geometry_exchange::install(engine))
        return false;
    if (!register_natives(engine))
        return false;
    ready = true;
    ready = run(startup_script);
    return ready;
}

bool script_context::run(const char* script)
{
    if (!ready || !engine)
        return false;
    JSStringRef parse_error = nullptr;
    JSScriptRef parsed = sources.find(JSContextGetGroup(engine), script, &parse_error);
    if (!parsed) {
        print_parse_error(parse_error);
        if (parse_error)
            JSStringRelease(parse_error);
        return false;
    }
    JSValueRef error = nullptr;
    const script_run_cost cost; // the code a long run compiled is reported to the collector
    JSScriptEvaluate(engine, parsed, nullptr, &error);
    cost.report(engine, script);
    JSScriptRelease(parsed);
    return error == nullptr;
}

void script_context::cleanup()
{
    stop_engine();
    ready = false;
}
