// script_geometry_exchange: moves a mesh between the native vectors and
// script objects. Building or reading 10,000 vertex objects one C API call
// per property costs milliseconds; the same loops compiled inside the engine
// cost a fraction of that, and they reach the floats and indices through
// typed array views over native buffers, so nothing is copied twice.
#include "scripting/script_geometry_exchange.h"

#include <initializer_list>
#include <new>

namespace {

// Evaluated once per engine start as an expression, so nothing of it lands in
// the global scope. The helpers capture the built-ins they need at that
// moment: a script that later replaces Reflect, Array or Array.from does not
// change them. Every read of script data that may run a getter is guarded: a
// throwing getter counts as a value that is not a number (or not an array),
// as if the read had failed.
//
// The views (f, e, out) lie over native memory that is freed or reused once
// the call returns, so no script may ever hold one: the helpers only index
// them (a typed array answers integer indices itself, never through its
// prototype), never read a named property of them, never iterate them and
// never pass them on. Getters are script code, but they cannot reach a
// strict function's arguments or locals.
//
// What "getGeometry" builds uses define semantics only (object literals, and
// Array.from, which defines each entry, called without a constructor and on
// an array-like without a prototype), so a setter, a read-only property or
// an index setter that a script put on Object.prototype or Array.prototype
// takes no part.
const char* const helper_source = R"js(
(function () {
  'use strict';
  const ownKeys = Reflect.ownKeys;
  const isArrayValue = Array.isArray;
  const arrayFrom = Array.from;
  const componentNames = ['x', 'y', 'z', 'r', 'g', 'b', 'u', 'v'];

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
  const count = (n) => ({__proto__: null, length: n});

  function makeGeometry(f, n, e, m) {
    const vertices = arrayFrom(count(n), (_, j) => {
      const b = j * 8;
      return {x: f[b], y: f[b + 1], z: f[b + 2], r: f[b + 3],
              g: f[b + 4], b: f[b + 5], u: f[b + 6], v: f[b + 7]};
    });
    const elements = arrayFrom(count(m), (_, i) => e[i]);
    return {vertices: vertices, elements: elements};
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

  // Component k of the vertex threw: it counts as 0, and every later one is
  // read on its own, so each getter still runs once and in order.
  function finishVertex(v, out, b, k) {
    for (let c = k + 1; c < 8; c++) out[b + c] = numberAt(v, componentNames[c]);
  }

  // One guard for the whole vertex; k says how far it got when a getter threw.
  function readVertex(v, out, b) {
    let k = 0, c;
    try {
      c = v.x; out[b] = typeof c === 'number' ? c : 0; k = 1;
      c = v.y; out[b + 1] = typeof c === 'number' ? c : 0; k = 2;
      c = v.z; out[b + 2] = typeof c === 'number' ? c : 0; k = 3;
      c = v.r; out[b + 3] = typeof c === 'number' ? c : 0; k = 4;
      c = v.g; out[b + 4] = typeof c === 'number' ? c : 0; k = 5;
      c = v.b; out[b + 5] = typeof c === 'number' ? c : 0; k = 6;
      c = v.u; out[b + 6] = typeof c === 'number' ? c : 0; k = 7;
      c = v.v; out[b + 7] = typeof c === 'number' ? c : 0;
      return;
    } catch (x) {}
    finishVertex(v, out, b, k);
  }

  // out arrives zero-filled: an entry that is no object leaves its zeros.
  function readVertices(list, n, out) {
    for (let j = 0, b = 0; j < n; j++, b += 8) {
      let v;
      try { v = list[j]; } catch (x) { continue; }
      if (isObject(v)) readVertex(v, out, b);
    }
  }

  // out arrives zero-filled. Storing into the Uint32Array keeps the low 32
  // bits of the truncated number; magnitudes of 2^63 or more (and NaN) stay 0.
  function readElements(list, m, out) {
    for (let i = 0; i < m; i++) {
      try {
        for (; i < m; i++) {
          const e = list[i];
          if (typeof e === 'number' && e > -9223372036854775808 && e < 9223372036854775808) out[i] = e;
        }
      } catch (x) {} // entry i threw and stays 0; the outer loop goes on after it
    }
  }

  return [makeGeometry, findSource, lengthOf, readVertices, readElements];
})()
)js";

struct helper_set {
    JSObjectRef make_geometry = nullptr;  // (Float32Array, n, Uint32Array, m) -> {vertices, elements}
    JSObjectRef find_source = nullptr;    // (geometry) -> [vertices, n, elements, m or -1] or null
    JSObjectRef length_of = nullptr;      // (array) -> its length, 0 when unreadable
    JSObjectRef read_vertices = nullptr;  // (array, n, Float32Array of 8n) -> undefined
    JSObjectRef read_elements = nullptr;  // (array, m, Uint32Array of m) -> undefined
};

helper_set helpers; // protected while the engine runs; null while it is stopped

JSObjectRef* helper_slots[] = {&helpers.make_geometry, &helpers.find_source, &helpers.length_of,
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

// The native buffers belong to their vectors: a view that the engine
// collects frees nothing of them.
void keep_native_bytes(void*, void*) {}

// Every new view tells the engine's collector that its bytes were just
// allocated, so a fresh pair of views per exchange would bring on a
// collection every few frames. A view is kept (protected, out of every
// script's reach) and handed out again whenever a buffer at the same address
// with the same size and type is exchanged, which the allocator makes the
// rule from frame to frame. A kept view whose buffer was freed is never
// used: only a live buffer at exactly its address and size matches it.
struct kept_view {
    void* data = nullptr;                              // first byte the view covers
    size_t bytes = 0;                                  // bytes it covers
    JSTypedArrayType type = kJSTypedArrayTypeNone;     // its element type
    JSObjectRef view = nullptr;                        // the view, protected; null in a free slot
};

constexpr unsigned kept_view_count = 8; // two alternating buffers of each kind fit with room to spare
kept_view kept_views[kept_view_count];  // released by uninstall, before the engine stops
unsigned next_kept_view = 0;            // the slot the next new view replaces

void release_kept_views(JSContextRef ctx)
{
    for (kept_view& kept : kept_views) {
        if (kept.view)
            JSValueUnprotect(ctx, kept.view);
        kept = kept_view{};
    }
    next_kept_view = 0;
}

JSObjectRef find_kept_view(JSTypedArrayType type, void* data, size_t bytes)
{
    for (const kept_view& kept : kept_views)
        if (kept.view && kept.data == data && kept.bytes == bytes && kept.type == type)
            return kept.view;
    return nullptr;
}

void keep_view(JSContextRef ctx, JSTypedArrayType type, void* data, size_t bytes, JSObjectRef view)
{
    kept_view& slot = kept_views[next_kept_view];
    next_kept_view = (next_kept_view + 1) % kept_view_count;
    if (slot.view)
        JSValueUnprotect(ctx, slot.view);
    JSValueProtect(ctx, view);
    slot = kept_view{data, bytes, type, view};
}

// A typed array over count elements of native memory for a helper call, new
// or kept from an earlier call over the same buffer; undefined when there is
// nothing to view. Null on failure.
template <typename element>
JSValueRef view_over(JSContextRef ctx, JSTypedArrayType type, element* data, size_t count,
                     JSValueRef* exception)
{
    if (count == 0)
        return JSValueMakeUndefined(ctx);
    const size_t bytes = count * sizeof(element);
    if (JSObjectRef kept = find_kept_view(type, data, bytes))
        return kept;
    JSObjectRef view = JSObjectMakeTypedArrayWithBytesNoCopy(ctx, type, data, bytes, keep_native_bytes, nullptr,
                                                             exception);
    if (view)
        keep_view(ctx, type, data, bytes, view);
    return view;
}

// A zero-filled buffer of count values for one call; false when the memory
// cannot be had, since no C++ exception may cross the engine's frames.
template <typename value>
bool allocate_zeroed(std::vector<value>& buffer, size_t count)
{
    try {
        buffer.assign(count, value(0));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
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
    release_kept_views(ctx);
    for (JSObjectRef* slot : helper_slots) {
        if (*slot)
            JSValueUnprotect(ctx, *slot);
        *slot = nullptr;
    }
}

JSValueRef script_geometry_exchange::make_geometry(JSContextRef ctx, const std::vector<float>& vertices,
                                                   const std::vector<uint32_t>& elements,
                                                   JSValueRef* exception)
{
    // The helper only reads the views and runs no script code, so nothing
    // can change the vectors while it looks at them.
    const size_t vertex_count = vertices.size() / 8;
    JSValueRef floats = view_over(ctx, kJSTypedArrayTypeFloat32Array, const_cast<float*>(vertices.data()),
                                  vertex_count * 8, exception);
    if (!floats)
        return nullptr;
    JSValueRef indices = view_over(ctx, kJSTypedArrayTypeUint32Array, const_cast<uint32_t*>(elements.data()),
                                   elements.size(), exception);
    if (!indices)
        return nullptr;
    return call(ctx, helpers.make_geometry,
                {floats, JSValueMakeNumber(ctx, static_cast<double>(vertex_count)), indices,
                 JSValueMakeNumber(ctx, static_cast<double>(elements.size()))},
                exception);
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
    // The getters may call "getGeometry" or "setGeometry", which read or
    // replace the shared vectors: the helper writes into a buffer of this
    // call only, which takes out's place at the end.
    std::vector<float> vertices;
    if (!allocate_zeroed(vertices, static_cast<size_t>(source.vertex_count) * 8))
        return false;
    JSValueRef floats = view_over(ctx, kJSTypedArrayTypeFloat32Array, vertices.data(), vertices.size(), exception);
    if (!floats)
        return false;
    if (!vertices.empty() &&
        !call(ctx, helpers.read_vertices, {source.vertices, JSValueMakeNumber(ctx, source.vertex_count), floats},
              exception))
        return false;
    out = std::move(vertices);
    return true;
}

bool script_geometry_exchange::read_elements(JSContextRef ctx, const script_geometry_source& source,
                                             double limit, std::vector<uint32_t>& out,
                                             JSValueRef* exception)
{
    JSValueRef length = call(ctx, helpers.length_of, {source.elements}, exception);
    if (!length)
        return false;
    const double count = JSValueToNumber(ctx, length, nullptr);
    if (count > limit)
        return false;
    std::vector<uint32_t> elements;
    if (!allocate_zeroed(elements, static_cast<size_t>(count)))
        return false;
    JSValueRef indices = view_over(ctx, kJSTypedArrayTypeUint32Array, elements.data(), elements.size(), exception);
    if (!indices)
        return false;
    if (!elements.empty() &&
        !call(ctx, helpers.read_elements, {source.elements, length, indices}, exception))
        return false;
    out = std::move(elements);
    return true;
}
