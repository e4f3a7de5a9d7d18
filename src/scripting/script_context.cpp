// script_context: starts and stops the process's one JavaScriptCore context,
// registers the natives and runs scripts with the parse-error report.
// Depends on JavaScriptCore, script_natives, script_geometry_exchange,
// script_source_cache, script_text.
#include "scripting/script_context.h"

#include "scripting/script_geometry_exchange.h"
#include "scripting/script_natives.h"
#include "scripting/script_source_cache.h"
#include "scripting/script_text.h"

#include <JavaScriptCore/JavaScript.h>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

JSGlobalContextRef engine = nullptr; // the one script engine of the process; null while stopped
script_source_cache sources;         // engine strings of the texts run since the engine started

const char* const startup_script = "print ('Initilized');";

// Error kinds by the thrown value's "name"; 0 for anything else.
const char* const error_names[] = {"Error", "EvalError", "RangeError", "ReferenceError",
                                   "SyntaxError", "TypeError", "URIError"};
const char* const error_kind_texts[] = {" - unknown error - ", " - common error - ",
                                        " - eval error - ", " - range error - ",
                                        " - reference error - ", " - syntax error - ",
                                        " - type error - ", " - URI error - "};

int error_kind(JSContextRef ctx, JSValueRef error)
{
    if (!JSValueIsObject(ctx, error))
        return 0;
    JSValueRef exception = nullptr;
    JSStringRef key = JSStringCreateWithUTF8CString("name");
    JSValueRef name = JSObjectGetProperty(ctx, JSValueToObject(ctx, error, nullptr), key, &exception);
    JSStringRelease(key);
    if (exception || !JSValueIsString(ctx, name))
        return 0;
    const std::string text = script_text_of_value(ctx, name);
    for (int kind = 1; kind <= 7; ++kind)
        if (text == error_names[kind - 1])
            return kind;
    return 0;
}

void print_parse_error(JSContextRef ctx, JSValueRef error)
{
    const char* kind_text = error_kind_texts[error_kind(ctx, error)];
    const std::string text = script_text_of_value(ctx, error);
    std::printf("SCRIPTING ENGINE ERROR: %s %s\n", kind_text, text.c_str());
    std::fflush(stdout);
}

// Only a text that does not parse is reported; an exception thrown while it
// ran is not, even a SyntaxError (from eval, JSON.parse or a throw). The
// engine parses the whole text before it runs any of it, so a second look at
// the syntax, taken only after a failure, tells the two apart.
void print_if_parse_error(JSStringRef source)
{
    JSValueRef error = nullptr;
    if (JSCheckScriptSyntax(engine, source, nullptr, 1, &error))
        return;
    print_parse_error(engine, error ? error : JSValueMakeUndefined(engine));
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
    JSStringRef source = sources.find(script);
    JSValueRef error = nullptr;
    JSEvaluateScript(engine, source, nullptr, nullptr, 1, &error);
    const bool ok = error == nullptr;
    if (!ok)
        print_if_parse_error(source);
    JSStringRelease(source);
    return ok;
}

void script_context::cleanup()
{
    stop_engine();
    ready = false;
}
