// The naive converter that brivel is measured against: the C library's line
// reader, formatted input and formatted output, one line at a time. Same
// output as brivel on every input without NUL bytes or numbers beyond 32 bits.
#include <cstdio>

int main() {
  char line[1024];
  // Large enough for any name a line of 1023 bytes can carry.
  char name[1024];
  int x, y, z, pitch, yaw, roll, fov;
  while (std::fgets(line, sizeof line, stdin)) {
    const int items =
        std::sscanf(line, " \"%[^\"]\" x=%d y=%d z=%d pitch=%d yaw=%d roll=%d fov=%d ", name, &x,
                    &y, &z, &pitch, &yaw, &roll, &fov);
    if (items < 7) continue;
    if (items == 7) fov = 90;
    std::printf(
        "{\n\"classname\" \"info_camera\"\n\"name\" \"%s\"\n\"origin\" \"%d %d %d\"\n\"angles\" "
        "\"%d %d %d\"\n\"fov\" \"%d\"\n}\n",
        name, x, y, z, pitch, yaw, roll, fov);
  }
  return 0;
}
