// The geometry exchange while the engine's collector runs without pause: a
// native that reads or writes engine memory it does not keep alive fails
// here, under the sanitizers within a few hundred round trips. Its own
// executable, since the engine reads its options once, when the first
// engine of the process starts.
#include "scripting/script_shared_state.h"
#include "support/script_session.h"

#include <gtest/gtest.h>
#include <cstdint>
#include <cstdlib>

namespace {

// Must run before the first engine of the process starts.
void collect_continuously()
{
    setenv("JSC_collectContinuously", "true", 1);
}

TEST(script_collector, geometry_exchange_survives_a_continuous_collector)
{
    collect_continuously();
    script_session session;
    // Fresh arrays every round, so the collector always has garbage to free
    // while the natives copy; every round checks what came back.
    EXPECT_EQ(session.output_of(
                  "let bad = 0;\n"
                  "for (let round = 0; round < 1500; round++) {\n"
                  "  const vertices = [], elements = [];\n"
                  "  for (let i = 0; i < 300; i++) {\n"
                  "    vertices.push({x: i, y: round, z: 2, r: 3, g: 4, b: 5, u: 6, v: i + round});\n"
                  "    elements.push(299 - i);\n"
                  "  }\n"
                  "  if (!setGeometry({vertices, elements})) bad++;\n"
                  "  const g = getGeometry();\n"
                  "  if (g.vertices.length !== 300 || g.elements.length !== 300) bad++;\n"
                  "  for (let i = 0; i < 300; i++) {\n"
                  "    const v = g.vertices[i];\n"
                  "    if (v.x !== i || v.y !== round || v.v !== i + round || g.elements[i] !== 299 - i) bad++;\n"
                  "  }\n"
                  "}\n"
                  "print(String(bad));"),
              "Scripting Engine: 0\n");
    ASSERT_EQ(script_shared_state.vertices.size(), 300u * 8);
    EXPECT_EQ(script_shared_state.vertices[8 * 7], 7.0f);
    EXPECT_EQ(script_shared_state.elements[0], 299u);
}

} // namespace
