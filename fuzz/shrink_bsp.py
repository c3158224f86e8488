#!/usr/bin/env python3
"""Cuts a real id Tech 3 level down to a few faces of each kind, for a small
fuzz seed that still exercises every decoded lump.

usage: shrink_bsp.py ARCHIVE.pk3 maps/NAME.bsp OUT.bsp OUT.pk3

Keeps the entity text's first two blocks plus the first player start, every
texture, the first faces of each type (polygon, patch, mesh, billboard) with
their own vertices and mesh vertices, lightmap page 0 only, and a made-up
tree (one plane, one node, two leaves of two clusters, each holding half of
the faces) so that the converted level carries a visibility section. The
other lumps are left empty. OUT.pk3 holds the result twice, deflated and
stored.
"""
import re
import struct
import sys
import zipfile

LUMPS = 17
TEXTURES, VERTICES, MESH_VERTICES, FACES, LIGHTMAPS, ENTITIES = 1, 10, 11, 13, 14, 0
PLANES, NODES, LEAFS, LEAF_FACES, VIS_DATA = 2, 3, 4, 5, 16
FACE_SIZE, VERTEX_SIZE, LIGHTMAP_SIZE = 104, 44, 128 * 128 * 3
FACES_PER_TYPE = {1: 12, 2: 2, 3: 4, 4: 1}


def lump(data, index):
    offset, length = struct.unpack_from("<ii", data, 8 + 8 * index)
    return data[offset:offset + length]


def shrink_entities(text):
    blocks = re.findall(r"\{[^{}]*\}", text.decode("latin-1"))
    starts = [b for b in blocks if "info_player" in b][:1]
    return ("\n".join(blocks[:2] + starts) + "\n\0").encode("latin-1")


def shrink_faces(data):
    faces = lump(data, FACES)
    vertices, mesh_vertices = lump(data, VERTICES), lump(data, MESH_VERTICES)
    kept, new_vertices, new_mesh = [], bytearray(), bytearray()
    taken = dict.fromkeys(FACES_PER_TYPE, 0)
    for at in range(0, len(faces), FACE_SIZE):
        record = bytearray(faces[at:at + FACE_SIZE])
        fields = list(struct.unpack_from("<7i", record))
        face_type = fields[2]
        if taken.get(face_type, 99) >= FACES_PER_TYPE.get(face_type, 0):
            continue
        taken[face_type] += 1
        first, count, first_mesh, mesh_count = fields[3], fields[4], fields[5], fields[6]
        fields[3] = len(new_vertices) // VERTEX_SIZE
        fields[5] = len(new_mesh) // 4
        new_vertices += vertices[first * VERTEX_SIZE:(first + count) * VERTEX_SIZE]
        new_mesh += mesh_vertices[first_mesh * 4:(first_mesh + mesh_count) * 4]
        struct.pack_into("<7i", record, 0, *fields)
        lightmap = struct.unpack_from("<i", record, 28)[0]
        struct.pack_into("<i", record, 28, 0 if lightmap >= 0 else -1)
        kept.append(bytes(record))
    return b"".join(kept), bytes(new_vertices), bytes(new_mesh)


def made_up_tree(face_count):
    half = face_count // 2
    box = (-65536, -65536, -65536, 65536, 65536, 65536)
    return {PLANES: struct.pack("<4f", 1.0, 0.0, 0.0, 0.0),
            NODES: struct.pack("<3i6i", 0, -1, -2, *box),
            LEAFS: struct.pack("<2i6i4i", 0, 0, *box, 0, half, 0, 0)
            + struct.pack("<2i6i4i", 1, 0, *box, half, face_count - half, 0, 0),
            LEAF_FACES: struct.pack("<%di" % face_count, *range(face_count)),
            VIS_DATA: struct.pack("<2i2B", 2, 1, 0x1, 0x3)}


def shrink(data):
    faces, vertices, mesh_vertices = shrink_faces(data)
    contents = {ENTITIES: shrink_entities(lump(data, ENTITIES)),
                TEXTURES: lump(data, TEXTURES), VERTICES: vertices,
                MESH_VERTICES: mesh_vertices, FACES: faces,
                LIGHTMAPS: lump(data, LIGHTMAPS)[:LIGHTMAP_SIZE],
                **made_up_tree(len(faces) // FACE_SIZE)}
    header = bytearray(data[:8])
    body = bytearray()
    start = 8 + 8 * LUMPS
    for index in range(LUMPS):
        part = contents.get(index, b"")
        header += struct.pack("<ii", start + len(body), len(part))
        body += part + b"\0" * (-len(part) % 4)
    return bytes(header + body)


def main():
    archive, name, out_bsp, out_pk3 = sys.argv[1:5]
    with zipfile.ZipFile(archive) as source:
        small = shrink(source.read(name))
    with open(out_bsp, "wb") as out:
        out.write(small)
    with zipfile.ZipFile(out_pk3, "w") as out:
        out.writestr("maps/small.bsp", small, compress_type=zipfile.ZIP_DEFLATED)
        out.writestr("maps/stored.bsp", small, compress_type=zipfile.ZIP_STORED)
        out.writestr("levelshots/readme.txt", b"not a map\n", compress_type=zipfile.ZIP_STORED)


if __name__ == "__main__":
    main()
