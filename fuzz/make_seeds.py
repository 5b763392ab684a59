#!/usr/bin/env python3
"""Writes the seed corpora under fuzz/corpus/: the file formats as the tests'
fixture worlds and picture tests build them, and the golden key scripts.
  fuzz/make_seeds.py [DEMO_WORLD]
With a folder made by `tlvx-tool demo`, also the worlds of fuzz_world_info."""
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def put(target, name, data):
    d = os.path.join(HERE, 'corpus', target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), 'wb') as f:
        f.write(data)


def crlf(lines):
    return b''.join(l.encode('latin-1') + b'\r\n' for l in lines)


def fixture_files():
    save = crlf(['Testland', ' 10 ', ' 8 ', ' 1 ', ' 10 ', ' 8 ', 'Pndx', '001', '002', '003',
                 ' 7 ', ' 1 ', ' 0 ', ' 0 '])
    world = crlf(['"Testland World"', '"unused"', '0', '0', '" 7 9"', '""', '""', '""', '" 5 6 7"', '""'])
    mem = crlf(['"tile%d.pic",%d,0,%d,0,%d' % (z, 1 if z % 7 == 0 else 0, 3 if z % 5 == 0 else 0, z % 256)
                for z in range(1, 257)])
    mom = crlf(['"hero1.pic","hero2.pic","hero3.pic","hero4.pic",24,0,1',
                '"crit1.pic","crit2.pic","crit3.pic","crit4.pic",24,4,1',
                '"tree1.pic","","","",24,0,0'] + ['"","","","",0,0,0'] * 252)
    pal = crlf(['%d,%d,%d' % (v, v, v) for v in ((i - 175) * 63 // 80 for i in range(175, 256))])
    return save, world, mem, mom, pal


def layer(w, h, cell):
    out = bytes([w >> 8, w & 255, h >> 8, h & 255]) + bytes(w)
    return out + bytes(cell(c, r) for r in range(1, h + 1) for c in range(1, w + 1))


def text_record():
    lines = [b'Pndx, 12 ,-3\r\n', b'  hello world  ,x\n', b'"a,b",a,b\r', b'2.5,3.5,1d2,&H1F,&B101,12abc,abc\n',
             b'&O17,&B,-0,+5,99999999999,1e99,&HFFFFFFFFF\n', b'"ab"cd\n12 34\n', b'x\x1ahidden\n',
             b'"quoted\r\nacross lines",next\n', b'1' * 70 + b',' + b'z' * 4100 + b'\n']
    for i, l in enumerate(lines):
        put('fuzz_text_record', 'seed%d' % i, bytes([0x55 if i % 2 else 0xAA]) + l)


def data_files():
    for i, data in enumerate(fixture_files()):
        put('fuzz_data_files', 'file%d' % i, bytes([i]) + data)
    put('fuzz_data_files', 'save_quoted', b'\x00' + crlf(['"A, world"', ' 4 ', ' 4 ', ' 1 ', ' 4 ', ' 4 ',
                                                             '" Ada"', '001', '002', '003', ' 0 ', ' 0 ', ' 1 ', ' 1 ']))
    # A world name and picture names leading out of the world folder, and a
    # picture name holding terminal controls.
    put('fuzz_data_files', 'save_escaped', b'\x00' + crlf(['../../ESCAPED', '5', '5', '1', '5', '5', 'Pndx', '', '', '',
                                                              '0', '1', '1', '0']))
    put('fuzz_data_files', 'tiles_outside', b'\x02' + crlf(['"../outs.bmp",0,0,0,0,1', '"..\\outs.bmp",0,0,0,0,2',
                                                               '"x\x1b]2;pwned\x07\x1b[2J.pcv",0,0,0,0,3']))


def block(w, h, pixels, long_form=False):
    data = struct.pack('<HH', w * 8 + 1, h) + bytes(pixels)
    if long_form:
        return bytes([254]) + struct.pack('<I', len(data)) + data
    return bytes([253]) + bytes(4) + struct.pack('<H', len(data)) + data


def bmp(width, height, bpp, info_size=40):
    h = abs(height)
    row_bytes = (width * bpp + 31) // 32 * 4
    colours = 1 << bpp
    entry = 3 if info_size == 12 else 4
    table = b''.join(bytes((i * 3 % 256, i * 5 % 256, i * 7 % 256) + ((0,) if entry == 4 else ()))
                     for i in range(colours))
    rows = bytes(((x + y) * 37) % 256 for y in range(h) for x in range(row_bytes))
    offset = 14 + info_size + len(table)
    if info_size == 12:
        info = struct.pack('<IHHHH', 12, width, h, 1, bpp)
    else:
        info = struct.pack('<IiiHHIIiiII', info_size, width, height, 1, bpp, 0, len(rows), 0, 0, 0, 0)
        info += bytes(info_size - 40)
    head = b'BM' + struct.pack('<IHHI', offset + len(rows), 0, 0, offset)
    return head + info + table + rows


def pictures():
    pos = bytes([100, 80, 0])
    put('fuzz_picture', 'short_block', pos + block(24, 24, [(i * 7) % 256 for i in range(576)]))
    put('fuzz_picture', 'long_block', pos[:2] + b'\x02' + block(16, 16, [255] * 256, True))
    long_header = struct.pack('<8I', 7, 1, 8, 8, 10, 0, 0, 0) + bytes(range(80))
    put('fuzz_picture', 'long_header', b'\xb4\xb8\x01' + bytes([254]) + struct.pack('<I', len(long_header)) + long_header)
    put('fuzz_picture', 'edge', bytes([200, 250, 0]) + block(16, 16, [9] * 256))
    put('fuzz_picture', 'bmp8', pos + bmp(5, 3, 8))
    put('fuzz_picture', 'bmp4_top', pos + bmp(7, -4, 4))
    put('fuzz_picture', 'bmp1_core', pos + bmp(19, 3, 1, 12))
    put('fuzz_picture', 'bmp1_v5', pos + bmp(19, 3, 1, 124))


def key_scripts():
    cases = os.path.join(ROOT, 'tests', 'golden')
    put('fuzz_key_script', 'names', b'1 y\n2 space\n3 esc\n4 bksp\n5 enter\n6 tab\n7 up\n8 down\n9 left\n10 right\n'
                                     b'11 f1\n12 f10\n13 x:79\n14 x:00x:47\n# comment\n\n 15\t\\ \r\n16 #\n')
    put('fuzz_key_script', 'walk', b'# right, up, down\n2 h\n4 y\n6 b\n8 g\n10 left\n12 7\n14 9\n16 9\n18 right\n20 Y\n22 esc\n')
    put('fuzz_key_script', 'edit', b'2 +\n3 +\n4 f\n5 F\n6 *\n7 /\n8 ]\n9 [\n10 \\\n11 bksp\n12 -\n13 p\n14 x:2C\n15 esc\n')
    put('fuzz_key_script', 'bad', b'1 y\nx y\n')


def tiled_maps():
    """Small maps as export-tiled writes them and as the import tests vary
    them: CSV, base64 raw, zlib and gzip; tileset files or embedded ones."""
    import base64
    import gzip
    import json
    import zlib
    w, h = 4, 3
    ground = [1 + (i % 5) for i in range(w * h)]
    objects = [0 if i % 3 else 257 + i for i in range(w * h)]
    files = [{'firstgid': 1, 'source': 'm-ground.tsj'}, {'firstgid': 257, 'source': 'm-objects.tsj'}]
    embedded = [{'firstgid': 1, 'name': 'ground', 'tilecount': 256},
                {'firstgid': 257, 'name': 'objects', 'tilecount': 256}]

    def layer(i, name, gids, encoding):
        l = {'height': h, 'id': i, 'name': name, 'opacity': 1, 'type': 'tilelayer', 'visible': True,
             'width': w, 'x': 0, 'y': 0}
        raw = b''.join(struct.pack('<I', g) for g in gids)
        if encoding == 'csv':
            l['data'] = gids
        else:
            l['encoding'] = 'base64'
            if encoding == 'zlib':
                raw = zlib.compress(raw)
                l['compression'] = 'zlib'
            elif encoding == 'gzip':
                raw = gzip.compress(raw, mtime=0)
                l['compression'] = 'gzip'
            l['data'] = base64.b64encode(raw).decode()
        return l

    for encoding in ('csv', 'base64', 'zlib', 'gzip'):
        for sets, tag in ((files, 'files'), (embedded, 'embedded')):
            m = {'compressionlevel': -1, 'height': h, 'infinite': False, 'orientation': 'orthogonal',
                 'renderorder': 'right-down', 'tileheight': 24, 'tilewidth': 24, 'type': 'map', 'width': w,
                 'tilesets': sets,
                 'layers': [layer(1, 'ground', ground, encoding), layer(2, 'structures', objects, encoding),
                            layer(3, 'creatures', objects[::-1], encoding)]}
            put('fuzz_tiled_import', '%s_%s' % (encoding, tag), json.dumps(m, indent=1).encode())


def varint(v):
    out = b''
    while v >= 0x80:
        out += bytes([(v & 0x7F) | 0x80])
        v >>= 7
    return out + bytes([v])


def vstring(b):
    return varint(len(b)) + b


def recording(version=b'crafted', files=(), copy=None, copy_raw_len=None, events=b''):
    """A recording: the header (start files as (name, size, hash)), the world
    copy (raw bytes, optionally with another stated length) and one chunk of
    `events`."""
    import zlib
    h = vstring(version) + struct.pack('<Q', 0) + varint(len(files))
    for name, size, digest in files:
        h += vstring(name) + struct.pack('<qQ', size, digest)
    h += b'\x01' if copy is not None else b'\x00'
    out = b'TLVXREC\x1a' + struct.pack('<II', 1, len(h)) + h + struct.pack('<I', zlib.crc32(h))
    if copy is not None:
        packed = zlib.compress(copy, 9)
        raw_len = len(copy) if copy_raw_len is None else copy_raw_len
        out += struct.pack('<QQI', raw_len, len(packed), zlib.crc32(packed)) + packed
    if events:
        z = zlib.compressobj(6)
        packed = z.compress(events) + z.flush(zlib.Z_SYNC_FLUSH)
        out += b'CK' + struct.pack('<III', len(packed), len(events), zlib.crc32(packed)) + packed
    return out


def recordings():
    """Crafted recordings the reader must refuse quickly and in little memory."""
    one_pass = b'\x01\x02' + varint(0) + b'\x03\x01\x01p'
    # A world copy said to unpack to 1 GiB.
    put('fuzz_recording', 'bomb', recording(copy=b'\x00' * 4096, copy_raw_len=1 << 30))
    # Five million empty entries in the world copy.
    put('fuzz_recording', 'entries', recording(copy=varint(5000000) + b'\x01a\x00' * 5000000))
    # A plain copy, a hidden name and a name that is a path.
    good = varint(2) + vstring(b'tlvx_w05.pal') + vstring(b'1,2,3\r\n') + vstring(b'tile1.pic') + vstring(b'\xfd')
    put('fuzz_recording', 'world_copy', recording(copy=good, events=one_pass + b'\x06\x00'))
    put('fuzz_recording', 'hidden_name', recording(copy=varint(1) + vstring(b'.netrc') + vstring(b'x')))
    put('fuzz_recording', 'path_name', recording(copy=varint(1) + vstring(b'../x') + vstring(b'x')))
    # 2^62 polls that found nothing inside a pause.
    put('fuzz_recording', 'polls', recording(events=one_pass + b'\x04' + varint(1 << 62) + b'\x03\x01\x01x'))
    # One chunk of 70,000 passes (a 4 MB file of such chunks declared 139 million).
    put('fuzz_recording', 'chunk_passes', recording(events=one_pass * 70000))
    # Names with terminal escape sequences and a NUL.
    put('fuzz_recording', 'names', recording(version=b'1\x1b[2J', files=[(b'a\x1b]0;x\x07\x00', 5, 7)],
                                             events=one_pass + b'\x06\x00'))


def ustar(entries, fmt=None):
    """A tar archive of (name, bytes or None for a folder) in the given form."""
    import io
    import tarfile
    out = io.BytesIO()
    with tarfile.open(fileobj=out, mode='w', format=fmt or tarfile.USTAR_FORMAT) as t:
        for name, data in entries:
            info = tarfile.TarInfo(name)
            info.mtime = 0
            if data is None:
                info.type = tarfile.DIRTYPE
                info.mode = 0o755
                t.addfile(info)
            else:
                info.size = len(data)
                info.mode = 0o644
                t.addfile(info, io.BytesIO(data))
    return out.getvalue()


def world_archives():
    """Archives as the page's Download writes them, as tar writes a folder,
    and the crafted ones the reader refuses."""
    import tarfile
    save, world, mem, mom, pal = fixture_files()
    files = [('Pndx_001.sav', save), ('Testland.txt', world), ('tlvx_w05.mem', mem), ('tlvx_w05.mom', mom),
             ('tlvx_w05.pal', pal), ('tlvx_gr1.tmp', layer(4, 3, lambda c, r: 1))]
    put('fuzz_world_archive', 'download', ustar([('tlvx-world/', None)] + [('tlvx-world/' + n, d) for n, d in files]))
    put('fuzz_world_archive', 'dotted', ustar([('./', None)] + [('./' + n, d) for n, d in files]))
    put('fuzz_world_archive', 'hidden', ustar([('tlvx-world/', None), ('tlvx-world/Pndx_001.sav', save),
                                                ('tlvx-world/.hidden-payload', b'p' * 1000),
                                                ('tlvx-world/.tlvx.lock', b'tlvx 1\n')]))
    put('fuzz_world_archive', 'long_name', ustar([('tlvx-world/' + 'N' * 100, b'x')]))
    put('fuzz_world_archive', 'pax', ustar([('tlvx-world/' + 'P' * 120, b'x')], tarfile.PAX_FORMAT))
    put('fuzz_world_archive', 'gnu', ustar([('tlvx-world/' + 'G' * 120, b'x')], tarfile.GNU_FORMAT))


def world_records(files):
    """The input of fuzz_world_info: name length, name, 3-byte size, bytes."""
    out = b''
    for name, data in files:
        out += bytes([len(name)]) + name + struct.pack('<I', len(data))[:3] + data
    return out


def world_info(demo):
    """Worlds for the world check, from the demo world in the folder `demo`
    (made by `tlvx-tool demo`): its tables, its map and the pictures of its
    ground and creatures, and the same world cut to an 8 by 8 map."""
    names = sorted(os.listdir(demo))
    keep = [n for n in names if not n.startswith('.') and not n.startswith('objt-') and not n.startswith('tile_0')]
    files = []
    for n in keep:
        with open(os.path.join(demo, n), 'rb') as f:
            files.append((n.encode(), f.read()))
    put('fuzz_world_info', 'demo', world_records(files))

    def cut(data):
        w, h = data[0] << 8 | data[1], data[2] << 8 | data[3]
        rows = [data[4 + r * w:4 + (r + 1) * w] for r in range(h + 1)]
        return bytes([0, 8, 0, 8]) + b''.join(row[:8] for row in rows[:9])

    small = []
    for n, d in files:
        if n.endswith(b'.tmp'):
            d = cut(d)
        elif n == b'Pndx_001.sav':
            lines = d.split(b'\r\n')
            for i in (1, 2, 4, 5):
                lines[i] = b' 4 '
            d = b'\r\n'.join(lines)
        elif n.endswith(b'.pcv') or n.endswith(b'.bmv'):
            continue
        small.append((n, d))
    put('fuzz_world_info', 'small', world_records(small))
    # The same with its first ground picture beside the world folder and the
    # world description two folders up.
    outside = []
    for n, d in small:
        if n == b'tlvx_w05.mem':
            d = d.replace(b'"grass_01.pcv"', b'"../grass_01.pcv"', 1).replace(b'"grass_02.pcv"', b'"..\\grass_02.pcv"', 1)
        elif n == b'Pndx_001.sav':
            d = b'../../oakvale' + d[d.index(b'\r\n'):]
        outside.append((n, d))
    put('fuzz_world_info', 'small_outside', world_records(outside))


def lock_holders():
    for name, text in (('written', b'tlvx 4242\n'), ('tool', b'tlvx-tool demo 17\nold text'),
                       ('escapes', b'\x1b[2Jx\x7f\xff 1\n'), ('long', b'n' * 300 + b' 12345678901\n'),
                       ('bare', b'12')):
        put('fuzz_lock_holder', name, text)


def tilesets():
    put('fuzz_tiled_tileset', 'named', b'{"name": "ground", "tilecount": 256}\0{"name": "m-objects"}')
    put('fuzz_tiled_tileset', 'swapped', b'{"name": "objects"}\0{"tiles": [{"id": 1}], "name": "x-ground"}')
    put('fuzz_tiled_tileset', 'escaped', b'{"name": "\\u0067round"}\0{"name": [1, {"name": "objects"}]}')
    put('fuzz_tiled_tileset', 'broken', b'{"name": "ground"\0{"name": "objects"}}')


if __name__ == '__main__':
    text_record()
    data_files()
    pictures()
    key_scripts()
    tiled_maps()
    recordings()
    world_archives()
    lock_holders()
    tilesets()
    if len(sys.argv) > 1:
        world_info(sys.argv[1])
