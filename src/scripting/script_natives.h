// script_natives: the five native functions that scripts call ("print",
// "clearScreen", "getTime", "getGeometry", "setGeometry") and their table.
// Depends on JavaScriptCore, script_shared_state, script_geometry_exchange, GL.
#pragma once

#include <JavaScriptCore/JavaScript.h>

struct script_native {
    const char* name;                        // script-visible global name; null in the closing entry
    JSObjectCallAsFunctionCallback handler;  // the native's body; null in the closing entry
};

// The five natives in registration order, closed by an entry of two nulls.
extern const script_native script_natives[6];

JSValueRef native_print(JSContextRef ctx, JSObjectRef function, JSObjectRef self,
                        size_t argc, const JSValueRef argv[], JSValueRef* exception);
JSValueRef native_clear_screen(JSContextRef ctx, JSObjectRef function, JSObjectRef self,
                               size_t argc, const JSValueRef argv[], JSValueRef* exception);
JSValueRef native_get_time(JSContextRef ctx, JSObjectRef function, JSObjectRef self,
                           size_t argc, const JSValueRef argv[], JSValueRef* exception);
JSValueRef native_get_geometry(JSContextRef ctx, JSObjectRef function, JSObjectRef self,
                               size_t argc, const JSValueRef argv[], JSValueRef* exception);
JSValueRef native_set_geometry(JSContextRef ctx, JSObjectRef function, JSObjectRef self,
                               size_t argc, const JSValueRef argv[], JSValueRef* exception);
