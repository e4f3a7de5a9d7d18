// script_engine_private: JavaScriptCore functions that the library exports
// but declares only in headers it does not install, declared here with the
// library's own signatures. Depends on JavaScriptCore.
#pragma once

#include <JavaScriptCore/JavaScript.h>

extern "C" {

// A parsed script of a context group, kept by reference count.
typedef struct OpaqueJSScript* JSScriptRef;

// Parses source as global code, without creating an error object: on a
// parse error it returns null and, when asked, the parser's message (null
// when the parser gave none, as for a text nested too deeply) and its line.
JSScriptRef JSScriptCreateFromString(JSContextGroupRef group, JSStringRef url, int starting_line_number,
                                     JSStringRef source, JSStringRef* error_message, int* error_line);
void JSScriptRetain(JSScriptRef script);
void JSScriptRelease(JSScriptRef script);
// Runs a parsed script as global code of ctx. Unlike JSEvaluateScript, it
// does not hand an exception to the engine's inspector, which converts the
// thrown value to a string and so runs the script's own toString or getters.
JSValueRef JSScriptEvaluate(JSContextRef ctx, JSScriptRef script, JSValueRef this_value, JSValueRef* exception);

// Counts size bytes toward the collector's next collection, as if the
// program had allocated them on the engine's heap: for memory the engine
// holds but does not count. Reports of 256 bytes or less are ignored.
void JSReportExtraMemoryCost(JSContextRef ctx, size_t size);

}
