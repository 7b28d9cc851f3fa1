"""Byte helpers the image writers share: both-endian fields and a sparse
image of fixed-size blocks."""
import struct


def both16(v):
    return struct.pack('<H', v) + struct.pack('>H', v)


def both32(v):
    return struct.pack('<I', v) + struct.pack('>I', v)


def blocks_of(n, size):
    return (n + size - 1) // size


class Blocks(dict):
    """Block number -> bytes: data put at a block fills whole blocks."""

    def __init__(self, bs=2048):
        super().__init__()
        self.bs = bs

    def put(self, block, data):
        for i in range(0, max(len(data), 1), self.bs):
            chunk = data[i:i + self.bs]
            self[block + i // self.bs] = chunk + bytes(self.bs - len(chunk))

    def save(self, path):
        with open(path, 'wb') as f:
            for b in range(max(self) + 1):
                f.write(self.get(b, bytes(self.bs)))
