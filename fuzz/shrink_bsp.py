#!/usr/bin/env python3
"""usage: shrink_bsp.py ARCHIVE.pk3 maps/NAME.bsp OUT.bsp OUT.pk3

A real level cut down to a small fuzz seed with every lump the converter
decodes: two entity blocks and a player start, the textures, the first faces
of each type with their vertices, lightmap 0, and a made-up tree of two
leaves in two clusters (a visibility section). OUT.pk3 holds it twice."""
import re
import struct
import sys
import zipfile

LUMPS = 17
ENTITIES, TEXTURES, PLANES, NODES, LEAFS, LEAF_FACES = 0, 1, 2, 3, 4, 5
VERTICES, MESH_VERTICES, FACES, LIGHTMAPS, VIS_DATA = 10, 11, 13, 14, 16
FACE_SIZE, VERTEX_SIZE, LIGHTMAP_SIZE = 104, 44, 128 * 128 * 3
FACES_PER_TYPE = {1: 12, 2: 2, 3: 4, 4: 1}  # polygon, patch, mesh, billboard


def lump(data, index):
    offset, length = struct.unpack_from("<ii", data, 8 + 8 * index)
    return data[offset:offset + length]


def shrink_faces(data):
    faces, vertices, mesh = lump(data, FACES), lump(data, VERTICES), lump(data, MESH_VERTICES)
    kept, new_vertices, new_mesh = [], bytearray(), bytearray()
    taken = dict.fromkeys(FACES_PER_TYPE, 0)
    for at in range(0, len(faces), FACE_SIZE):
        record = bytearray(faces[at:at + FACE_SIZE])
        fields = list(struct.unpack_from("<7i", record))
        if taken.get(fields[2], 99) >= FACES_PER_TYPE.get(fields[2], 0):
            continue
        taken[fields[2]] += 1
        first, count, first_mesh, mesh_count = fields[3:7]
        fields[3], fields[5] = len(new_vertices) // VERTEX_SIZE, len(new_mesh) // 4
        new_vertices += vertices[first * VERTEX_SIZE:(first + count) * VERTEX_SIZE]
        new_mesh += mesh[first_mesh * 4:(first_mesh + mesh_count) * 4]
        struct.pack_into("<7i", record, 0, *fields)
        lightmap = struct.unpack_from("<i", record, 28)[0]
        struct.pack_into("<i", record, 28, 0 if lightmap >= 0 else -1)
        kept.append(bytes(record))
    return b"".join(kept), bytes(new_vertices), bytes(new_mesh)


def shrink(data):
    faces, vertices, mesh = shrink_faces(data)
    count = len(faces) // FACE_SIZE
    half, box = count // 2, (-65536, -65536, -65536, 65536, 65536, 65536)
    blocks = re.findall(r"\{[^{}]*\}", lump(data, ENTITIES).decode("latin-1"))
    entities = blocks[:2] + [b for b in blocks if "info_player" in b][:1]
    contents = {ENTITIES: ("\n".join(entities) + "\n\0").encode("latin-1"),
                TEXTURES: lump(data, TEXTURES), VERTICES: vertices, MESH_VERTICES: mesh,
                FACES: faces, LIGHTMAPS: lump(data, LIGHTMAPS)[:LIGHTMAP_SIZE],
                PLANES: struct.pack("<4f", 1.0, 0.0, 0.0, 0.0),
                NODES: struct.pack("<3i6i", 0, -1, -2, *box),
                LEAFS: struct.pack("<2i6i4i", 0, 0, *box, 0, half, 0, 0)
                + struct.pack("<2i6i4i", 1, 0, *box, half, count - half, 0, 0),
                LEAF_FACES: struct.pack("<%di" % count, *range(count)),
                VIS_DATA: struct.pack("<2i2B", 2, 1, 0x1, 0x3)}
    header, body, start = bytearray(data[:8]), bytearray(), 8 + 8 * LUMPS
    for index in range(LUMPS):
        part = contents.get(index, b"")
        header += struct.pack("<ii", start + len(body), len(part))
        body += part + b"\0" * (-len(part) % 4)
    return bytes(header + body)


archive, name, out_bsp, out_pk3 = sys.argv[1:5]
with zipfile.ZipFile(archive) as source:
    small = shrink(source.read(name))
with open(out_bsp, "wb") as out:
    out.write(small)
with zipfile.ZipFile(out_pk3, "w") as out:
    out.writestr("maps/small.bsp", small, compress_type=zipfile.ZIP_DEFLATED)
    out.writestr("maps/stored.bsp", small, compress_type=zipfile.ZIP_STORED)
    out.writestr("levelshots/readme.txt", b"not a map\n", compress_type=zipfile.ZIP_STORED)
