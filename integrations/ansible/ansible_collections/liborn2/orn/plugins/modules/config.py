#!/usr/bin/python
# -*- coding: utf-8 -*-
# Sets or removes one key of a liborn2 configuration file through the orn tool.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: config
short_description: Set or remove one key of a liborn2 configuration file
description:
  - Sets a key to a value (I(state=present)) or removes exactly that key
    (I(state=absent); keys that merely begin with it stay), with the C(orn) tool of
    liborn2, which saves the file as the library does (through FILE.New, keeping the
    previous content as FILE.Save) under the save lock that the services share.
  - Reports changed only when the file's text changes; an edit that changes nothing
    saves nothing, so the file keeps its bytes and its modification time.
  - In check mode the edit is made on a copy in a temporary folder, so the file and its
    backup are left untouched; in diff mode the text before and after is returned.
version_added: "1.0.0"
options:
  path:
    description: The configuration file. A missing file is created by I(state=present).
    type: path
    required: true
  section:
    description: The section of the key; required with I(state=absent).
    type: str
  key:
    description: The key's name (names are compared ignoring case).
    type: str
    required: true
  value:
    description: The value, at most 512 characters; required with I(state=present).
    type: str
  state:
    description: Whether the key is there with the value, or not there at all.
    type: str
    choices: [present, absent]
    default: present
  position:
    description: Where a new key goes in its section; an existing key keeps its place.
    type: str
    choices: [tail, head, after-first]
    default: tail
  orn:
    description: The orn tool to run.
    type: path
    default: orn
author:
  - liborn2 developers
'''

EXAMPLES = r'''
- name: The agent talks to the new port
  liborn2.orn.config:
    path: /etc/agent/agent.conf
    section: soap
    key: port
    value: "8443"

- name: Remove server_1, keep server_10
  liborn2.orn.config:
    path: /etc/agent/agent.conf
    section: soap
    key: server_1
    state: absent
'''

RETURN = r'''
changed:
  description: Whether the file's text changed (or would change, in check mode).
  type: bool
  returned: always
'''

import os
import shutil
import tempfile

from ansible.module_utils.basic import AnsibleModule


def read_text(path):
    try:
        with open(path, 'rb') as f:
            return f.read().decode('utf-8', 'surrogateescape')
    except (IOError, OSError):
        return None


def edit(module, orn, path):
    """Runs orn on `path`; orn answers 1 when a removal found nothing."""
    p = module.params
    if p['state'] == 'present':
        command = [orn, 'config', 'set', path, p['key'], p['value']]
        if p['section'] is not None:
            command.append(p['section'])
        command += ['--at', p['position'], '--quiet']
    else:
        command = [orn, 'config', 'remove', path, p['section'], p['key'], '--exact', '--quiet']
    rc, out, err = module.run_command(command)
    if rc not in (0, 1) or (rc == 1 and p['state'] == 'present'):
        module.fail_json(msg='orn failed: %s' % (err.strip() or out.strip()), rc=rc,
                         cmd=command)


def main():
    module = AnsibleModule(
        argument_spec=dict(
            path=dict(type='path', required=True),
            section=dict(type='str'),
            key=dict(type='str', required=True, no_log=False),
            value=dict(type='str'),
            state=dict(type='str', default='present', choices=['present', 'absent']),
            position=dict(type='str', default='tail', choices=['tail', 'head', 'after-first']),
            orn=dict(type='path', default='orn'),
        ),
        required_if=[('state', 'present', ['value']), ('state', 'absent', ['section'])],
        supports_check_mode=True,
    )
    path = module.params['path']
    orn = module.get_bin_path(module.params['orn'], required=True)
    before = read_text(path)
    if before is None and module.params['state'] == 'absent':
        module.exit_json(changed=False)  # no file, no key
    if module.check_mode:
        # The same edit on a copy: the file, its backup and its time stay as they are.
        scratch = tempfile.mkdtemp(prefix='orn-config-')
        try:
            copy = os.path.join(scratch, os.path.basename(path))
            if before is not None:
                shutil.copyfile(path, copy)
            edit(module, orn, copy)
            after = read_text(copy)
        finally:
            shutil.rmtree(scratch, ignore_errors=True)
    else:
        edit(module, orn, path)
        after = read_text(path)
    changed = (before or '') != (after or '') or (before is None) != (after is None)
    result = dict(changed=changed)
    if module._diff:
        result['diff'] = dict(before=before or '', after=after or '',
                              before_header=path, after_header=path)
    module.exit_json(**result)


if __name__ == '__main__':
    main()
