// Which matched lines become camera records.
#pragma once

#include "camera/camera_record.h"

namespace camera {

// Eight items read: the record stands as read. Seven: the line had no
// readable fov, so the record gets the default. Fewer: no record.
inline bool accept_camera_line(int items_read, CameraRecord& record) {
  if (items_read == 8) return true;
  if (items_read != 7) return false;
  record.fov = kDefaultFov;
  return true;
}

}  // namespace camera
