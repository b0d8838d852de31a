// Platform layer: fs (declarations are added with the family that needs them).
#ifndef ORN2_PORT_FS_H
#define ORN2_PORT_FS_H

namespace orn2::port {}  // namespace orn2::port

#endif  // ORN2_PORT_FS_H
