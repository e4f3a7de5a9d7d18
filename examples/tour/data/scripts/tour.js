// Loaded with the configuration's onLoad trigger. Everything declared here
// stays visible to every later script of the run.

// Clears what the last frame drew into the bound framebuffer, then turns
// and pulses a copy of the shape `base` (taken with getGeometry when the
// effect started) and hands it back to the effect that is being drawn.
function spin(base, speed) {
    clearScreen();
    var t = getTime();
    var angle = t * speed;
    var scale = 0.85 + 0.15 * Math.sin(t * 3.0);
    var c = Math.cos(angle), s = Math.sin(angle);
    var moved = { vertices: [], elements: base.elements };
    for (var i = 0; i < base.vertices.length; ++i) {
        var v = base.vertices[i];
        moved.vertices.push({ x: (v.x * c - v.y * s) * scale, y: (v.x * s + v.y * c) * scale, z: v.z,
                              r: v.r, g: v.g, b: v.b, u: v.u, v: v.v });
    }
    setGeometry(moved);
}
