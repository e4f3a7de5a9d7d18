// Shared by every fragment shader of the tour.
uniform float iTime; // demo time in seconds
uniform vec2 iRes;   // window size in pixels

vec3 palette(float t)
{
    return 0.5 + 0.5 * cos(6.28318 * (t + vec3(0.0, 0.33, 0.67)));
}
