// script_geometry_exchange: moves a mesh between the native vectors and
// script objects. Building or reading 10,000 vertex objects one C API call
// per property costs milliseconds; the same loops compiled inside the engine
// cost a fraction of that, and the floats cross over as typed arrays.
#include "scripting/script_geometry_exchange.h"

#include "data/number_conversion.h"
#include "scripting/script_text.h"

#include <cstring>
#include <initializer_list>

namespace {

// Evaluated once per engine start as an expression, so nothing of it lands in
// the global scope. The helpers capture the built-ins they need at that
// moment: a script that later replaces Reflect, Array or the typed array
// constructors does not change them. Every read of script data that may run
// a getter is guarded: a throwing getter counts as a value that is not a
// number (or not an array), as if the read had failed.
const char* const helper_source = R"js(
(function () {
  'use strict';
  const ownKeys = Reflect.ownKeys;
  const isArrayValue = Array.isArray;
  const Float32 = Float32Array;
  const Float64 = Float64Array;

  const isObject = (v) => (typeof v === 'object' && v !== null) || typeof v === 'function';
  const isArray = (v) => { try { return isArrayValue(v); } catch (x) { return false; } };
  const lengthOf = (a) => {
    let n;
    try { n = a.length; } catch (x) { return 0; }
    return typeof n === 'number' && n >= 0 && n <= 4294967295 ? n - n % 1 : 0;
  };
  const numberAt = (o, key) => {
    try { const c = o[key]; return typeof c === 'number' ? c : 0; } catch (x) { return 0; }
  };

  function makeVertices(f) {
    const n = f.length >>> 3;
    const list = [];
    for (let j = 0, b = 0; j < n; j++, b += 8) {
      const v = {};
      v.x = f[b]; v.y = f[b + 1]; v.z = f[b + 2];
      v.r = f[b + 3]; v.g = f[b + 4]; v.b = f[b + 5];
      v.u = f[b + 6]; v.v = f[b + 7];
      list[j] = v;
    }
    return list;
  }

  function makeElements(e) {
    const list = [];
    for (let i = 0; i < e.length; i++) list[i] = e[i];
    return list;
  }

  function findSource(g) {
    let keys;
    try { keys = ownKeys(g); } catch (x) { return null; }
    let hasVertices = false, hasElements = false;
    for (let i = 0; i < keys.length; i++) {
      if (keys[i] === 'vertices') hasVertices = true;
      else if (keys[i] === 'elements') hasElements = true;
    }
    if (!hasVertices || !hasElements) return null;
    let vertices, elements;
    try { vertices = g.vertices; } catch (x) { vertices = undefined; }
    try { elements = g.elements; } catch (x) { elements = undefined; }
    if (!isArray(vertices)) return null;
    return [vertices, lengthOf(vertices), elements, isArray(elements) ? lengthOf(elements) : -1];
  }

  function readVertices(list, n) {
    const out = new Float32(n * 8);
    for (let j = 0, b = 0; j < n; j++, b += 8) {
      let v;
      try { v = list[j]; } catch (x) { continue; }
      if (!isObject(v)) continue;
      out[b] = numberAt(v, 'x'); out[b + 1] = numberAt(v, 'y'); out[b + 2] = numberAt(v, 'z');
      out[b + 3] = numberAt(v, 'r'); out[b + 4] = numberAt(v, 'g'); out[b + 5] = numberAt(v, 'b');
      out[b + 6] = numberAt(v, 'u'); out[b + 7] = numberAt(v, 'v');
    }
    return out;
  }

  function readElements(list, limit) {
    const m = lengthOf(list);
    if (m > limit) return null;
    const out = new Float64(m);
    for (let i = 0; i < m; i++) {
      let e;
      try { e = list[i]; } catch (x) { continue; }
      if (typeof e === 'number') out[i] = e;
    }
    return out;
  }

  return [makeVertices, makeElements, findSource, readVertices, readElements];
})()
)js";

struct helper_set {
    JSObjectRef make_vertices = nullptr;  // (Float32Array) -> array of vertex objects
    JSObjectRef make_elements = nullptr;  // (Uint32Array) -> array of numbers
    JSObjectRef find_source = nullptr;    // (geometry) -> [vertices, n, elements, m or -1] or null
    JSObjectRef read_vertices = nullptr;  // (array, n) -> Float32Array of 8n
    JSObjectRef read_elements = nullptr;  // (array, limit) -> Float64Array, or null above limit
};

helper_set helpers; // protected while the engine runs; null while it is stopped

JSObjectRef* helper_slots[] = {&helpers.make_vertices, &helpers.make_elements, &helpers.find_source,
                               &helpers.read_vertices, &helpers.read_elements};

JSValueRef call(JSContextRef ctx, JSObjectRef function, std::initializer_list<JSValueRef> args,
                JSValueRef* exception)
{
    JSValueRef thrown = nullptr;
    JSValueRef result = JSObjectCallAsFunction(ctx, function, nullptr, args.size(), args.begin(), &thrown);
    if (thrown) {
        if (exception)
            *exception = thrown;
        return nullptr;
    }
    return result;
}

JSObjectRef copy_into_typed_array(JSContextRef ctx, JSTypedArrayType type, const void* data,
                                  size_t count, size_t element_size, JSValueRef* exception)
{
    JSObjectRef array = JSObjectMakeTypedArray(ctx, type, count, exception);
    if (!array)
        return nullptr;
    if (count)
        std::memcpy(JSObjectGetTypedArrayBytesPtr(ctx, array, nullptr), data, count * element_size);
    return array;
}

JSValueRef entry(JSContextRef ctx, JSObjectRef array, unsigned index)
{
    return JSObjectGetPropertyAtIndex(ctx, array, index, nullptr);
}

} // namespace

bool script_geometry_exchange::install(JSGlobalContextRef ctx)
{
    uninstall(ctx);
    JSStringRef source = JSStringCreateWithUTF8CString(helper_source);
    JSValueRef exception = nullptr;
    JSValueRef list = JSEvaluateScript(ctx, source, nullptr, nullptr, 1, &exception);
    JSStringRelease(source);
    if (exception || !JSValueIsObject(ctx, list))
        return false;
    JSObjectRef array = JSValueToObject(ctx, list, nullptr);
    for (unsigned i = 0; i < sizeof helper_slots / sizeof helper_slots[0]; ++i) {
        JSValueRef function = entry(ctx, array, i);
        JSValueProtect(ctx, function);
        *helper_slots[i] = JSValueToObject(ctx, function, nullptr);
    }
    return true;
}

void script_geometry_exchange::uninstall(JSGlobalContextRef ctx)
{
    for (JSObjectRef* slot : helper_slots) {
        if (*slot)
            JSValueUnprotect(ctx, *slot);
        *slot = nullptr;
    }
}

JSValueRef script_geometry_exchange::make_vertices(JSContextRef ctx, const std::vector<float>& vertices,
                                                   JSValueRef* exception)
{
    JSObjectRef floats = copy_into_typed_array(ctx, kJSTypedArrayTypeFloat32Array, vertices.data(),
                                               vertices.size(), sizeof(float), exception);
    if (!floats)
        return nullptr;
    return call(ctx, helpers.make_vertices, {floats}, exception);
}

JSValueRef script_geometry_exchange::make_elements(JSContextRef ctx, const std::vector<uint32_t>& elements,
                                                   JSValueRef* exception)
{
    JSObjectRef indices = copy_into_typed_array(ctx, kJSTypedArrayTypeUint32Array, elements.data(),
                                                elements.size(), sizeof(uint32_t), exception);
    if (!indices)
        return nullptr;
    return call(ctx, helpers.make_elements, {indices}, exception);
}

bool script_geometry_exchange::find_source(JSContextRef ctx, JSObjectRef geometry,
                                           script_geometry_source& source, JSValueRef* exception)
{
    JSValueRef found = call(ctx, helpers.find_source, {geometry}, exception);
    if (!found || !JSValueIsObject(ctx, found))
        return false;
    JSObjectRef parts = JSValueToObject(ctx, found, nullptr);
    source.vertices = entry(ctx, parts, 0);
    source.vertex_count = JSValueToNumber(ctx, entry(ctx, parts, 1), nullptr);
    source.elements = entry(ctx, parts, 2);
    source.element_count = JSValueToNumber(ctx, entry(ctx, parts, 3), nullptr);
    return true;
}

bool script_geometry_exchange::read_vertices(JSContextRef ctx, const script_geometry_source& source,
                                             std::vector<float>& out, JSValueRef* exception)
{
    JSValueRef count = JSValueMakeNumber(ctx, source.vertex_count);
    JSValueRef floats = call(ctx, helpers.read_vertices, {source.vertices, count}, exception);
    if (!floats)
        return false;
    JSObjectRef array = JSValueToObject(ctx, floats, nullptr);
    const size_t size = JSObjectGetTypedArrayLength(ctx, array, nullptr);
    const auto* data = static_cast<const float*>(JSObjectGetTypedArrayBytesPtr(ctx, array, nullptr));
    out.assign(data, data + size);
    return true;
}

bool script_geometry_exchange::read_elements(JSContextRef ctx, const script_geometry_source& source,
                                             double limit, std::vector<uint32_t>& out,
                                             JSValueRef* exception)
{
    JSValueRef numbers = call(ctx, helpers.read_elements,
                              {source.elements, JSValueMakeNumber(ctx, limit)}, exception);
    if (!numbers || !JSValueIsObject(ctx, numbers))
        return false;
    JSObjectRef array = JSValueToObject(ctx, numbers, nullptr);
    const size_t size = JSObjectGetTypedArrayLength(ctx, array, nullptr);
    const auto* data = static_cast<const double*>(JSObjectGetTypedArrayBytesPtr(ctx, array, nullptr));
    out.resize(size);
    for (size_t i = 0; i < size; ++i)
        out[i] = low_32_bits_of_truncation(data[i]);
    return true;
}
