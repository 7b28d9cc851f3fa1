'''A stand-in udisks2 for Fenmount's tests (a python3-dbusmock template).

An image with 55 AA at byte 510 is partitioned: its partition (with the file system) turns up
a moment after the loop device, as with udev. Mount makes a folder under "mount_root" named
for the ISO 9660 volume, else the device. Controls (org.freedesktop.DBus.Mock): FailNext(method,
error, message); Journal(), every call as "object method"; Detail(method), what its last call
got (Mount: options; LoopSetup: "PATH ACCESS HEAD read-only=TYPE:VALUE", HEAD 16 bytes in hex).
'''

import fcntl
import os

import dbus

from gi.repository import GLib
from dbusmock import MOCK_IFACE, mockobject

BUS_NAME = 'org.freedesktop.UDisks2'
MAIN_OBJ = '/org/freedesktop/UDisks2'
MAIN_IFACE = 'org.freedesktop.UDisks2'
IS_OBJECT_MANAGER = True
SYSTEM_BUS = True

UD = 'org.freedesktop.UDisks2'
MANAGER_OBJ = MAIN_OBJ + '/Manager'
BLOCK_ROOT = MAIN_OBJ + '/block_devices/'


def _main():
    return mockobject.objects[MAIN_OBJ]


def _called(obj, method, detail=''):
    shown = obj.path.replace(BLOCK_ROOT, '').replace(MAIN_OBJ + '/', '')
    _main().journal.append(f'{shown} {method}')
    _main().details[method] = detail
    failures = _main().failures
    if method in failures:
        name, message = failures.pop(method)
        raise dbus.exceptions.DBusException(message, name=name)


def _add(path, props):
    '''A new object with {interface: {property: value}}, not announced yet.'''
    main = _main()
    first = next(iter(props))
    main.AddObject(path, first, props[first], [])
    obj = mockobject.objects[path]
    for iface, values in props.items():
        if iface != first:
            obj.AddProperties(iface, values)
    return obj


def _bytes(text):
    return dbus.Array(list(text.encode()) + [0], signature='y')


def _add_filesystem(obj, name, label=''):
    obj.AddProperties(UD + '.Filesystem', {'MountPoints': dbus.Array([], signature='ay')})

    def mount(self, options):
        _called(self, 'Mount', str(options.get('options', '')))
        if self.props[UD + '.Filesystem']['MountPoints']:
            raise dbus.exceptions.DBusException('already mounted', name=UD + '.Error.AlreadyMounted')
        folder = os.path.join(_main().mount_root, label or name)
        os.makedirs(folder, exist_ok=True)
        self.props[UD + '.Filesystem']['MountPoints'] = dbus.Array([_bytes(folder)], signature='ay')
        return folder

    def unmount(self, options):
        _called(self, 'Unmount')
        if not self.props.get(UD + '.Filesystem', {}).get('MountPoints'):
            raise dbus.exceptions.DBusException('not mounted', name=UD + '.Error.NotMounted')
        self.props[UD + '.Filesystem']['MountPoints'] = dbus.Array([], signature='ay')

    obj.AddMethod(UD + '.Filesystem', 'Mount', 'a{sv}', 's', mount)
    obj.AddMethod(UD + '.Filesystem', 'Unmount', 'a{sv}', '', unmount)


def _describe_fd(fd):
    path = os.readlink(f'/proc/self/fd/{fd}')
    mode = fcntl.fcntl(fd, fcntl.F_GETFL) & os.O_ACCMODE
    access = {os.O_RDONLY: 'read-only', os.O_WRONLY: 'write-only'}.get(mode, 'read-write')
    try:
        head, pvd = os.pread(fd, 512, 0), os.pread(fd, 72, 32768)
    except OSError:  # a descriptor opened for writing only
        head = pvd = b''
    label = pvd[40:72].decode('ascii', 'replace').strip() if pvd[1:6] == b'CD001' else ''
    return path, access, head[:16], head[510:512] == b'\x55\xaa', label


def _loop_setup(self, fd, options):
    raw = fd.take()
    try:
        path, access, head, partitioned, label = _describe_fd(raw)
    finally:
        os.close(raw)
    read_only = options.get('read-only')
    _called(self, 'LoopSetup', f'{path} {access} {head.hex()} '
            f'read-only={type(read_only).__name__}:{bool(read_only)}')

    main = _main()
    name = f'loop{main.next_loop}'
    main.next_loop += 1
    loop_path = BLOCK_ROOT + name
    # Of these two interfaces Fenmount needs only that they are there.
    loop = _add(loop_path, {
        UD + '.Block': {'Device': _bytes(f'/dev/{name}')},
        UD + '.Loop': {'BackingFile': _bytes(path)},
    })
    if not partitioned:
        _add_filesystem(loop, name, label)
    loop.partitions = []
    main.object_manager_emit_added(loop_path)

    def delete(self, options):
        _called(self, 'Delete')
        for part in self.partitions:
            _empty(part)
        _empty(self.path)

    loop.AddMethod(UD + '.Loop', 'Delete', 'a{sv}', '', delete)

    if partitioned:
        def add_partition():
            if not mockobject.objects[loop_path].props:
                return False  # deleted meanwhile
            part_name = name + 'p1'
            part = _add(BLOCK_ROOT + part_name, {
                UD + '.Block': {'Device': _bytes(f'/dev/{part_name}')},
                UD + '.Partition': {'Table': dbus.ObjectPath(loop_path), 'Number': dbus.UInt32(1)},
            })
            _add_filesystem(part, part_name)
            mockobject.objects[loop_path].partitions.append(part.path)
            main.object_manager_emit_added(part.path)
            return False
        GLib.timeout_add(main.partition_delay_ms, add_partition)
    return dbus.ObjectPath(loop_path)


def _empty(path):
    obj = mockobject.objects[path]
    if obj.props:
        _main().object_manager_emit_removed(path)
    obj.props = {}


def load(mock, parameters):
    mock.failures = {}
    mock.journal = []
    mock.details = {}
    mock.next_loop = 0
    mock.mount_root = str(parameters.get('mount_root', '/tmp'))
    mock.partition_delay_ms = int(parameters.get('partition_delay_ms', 300))
    mock.AddObject(MANAGER_OBJ, UD + '.Manager', {'Version': '2.9.4'}, [])
    manager = mockobject.objects[MANAGER_OBJ]
    manager.AddMethod(UD + '.Manager', 'LoopSetup', 'ha{sv}', 'o', _loop_setup)


@dbus.service.method(MOCK_IFACE, in_signature='sss', out_signature='')
def FailNext(self, method, error_name, message):
    self.failures[str(method)] = (str(error_name), str(message))


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='as')
def Journal(self):
    return dbus.Array(self.journal, signature='s')


@dbus.service.method(MOCK_IFACE, in_signature='s', out_signature='s')
def Detail(self, method):
    return self.details.get(str(method), '')
