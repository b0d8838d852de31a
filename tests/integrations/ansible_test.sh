#!/usr/bin/env bash
# The Ansible collection's module liborn2.orn.config with ansible-core against
# localhost, while two orn processes edit other keys of the same file: the first
# run changes the file, the second changes nothing (same bytes and time), check
# mode touches nothing but says what would change, diff mode shows the line, and
# an exact removal leaves the longer keys; every key checked with orn config get.
# Usage: ansible_test.sh ORN INTEGRATIONS_DIR
set -u
# shellcheck source=tests/integrations/lib.sh
. "$(dirname "$0")/lib.sh"
command -v ansible-playbook >/dev/null || skip "ansible-playbook is not installed (Debian package ansible-core)"
enter_scratch orn-ansible
export ANSIBLE_COLLECTIONS_PATH=$integrations/ansible ANSIBLE_LOCAL_TEMP=$scratch/tmp \
  ANSIBLE_REMOTE_TEMP=$scratch/remote-tmp \
  ANSIBLE_HOME=$scratch/ansible ANSIBLE_NOCOLOR=1 ANSIBLE_STDOUT_CALLBACK=json \
  ANSIBLE_PYTHON_INTERPRETER=auto_silent ANSIBLE_INVENTORY_UNPARSED_WARNING=False \
  ANSIBLE_LOCALHOST_WARNING=False

printf '[soap]\n    server=192.0.2.10\n    port=443\n    port_1=444\n' >agent.conf

# play NAME EXPECTED TASK-ARGS [ansible-playbook options]: one task, which must
# give the changed and failed counts EXPECTED ("1 0" changed, "0 0" not, "0 1" failed).
play() {
  local changed
  cat >play.yml <<YML
- hosts: localhost
  connection: local
  gather_facts: false
  tasks:
    - liborn2.orn.config: {path: "${file:-$scratch/agent.conf}", orn: "$orn", $3}
YML
  ansible-playbook -i localhost, play.yml "${@:4}" >play.json 2>play.err
  checks=$((checks + 1))
  changed=$(python3 -c 'import json,sys; s=json.load(open("play.json"))["stats"]["localhost"]; print(s["changed"], s["failures"])' 2>/dev/null)
  [ "$changed" = "$2" ] || report "$1: changed and failures '$changed', expected '$2' ($(head -c 300 play.err))"
}
stamp() { stat -c '%s %Y %i' agent.conf; }

# Two writers edit keys of their own while the plays run (orn holds the save lock).
for w in 1 2; do
  (for i in $(seq 40); do "$orn" config set agent.conf "w${w}_$i" "$i" other --quiet; done) &
done

play "set a new value" "1 0" 'section: soap, key: port, value: "8443"'
play "set it again" "0 0" 'section: soap, key: port, value: "8443"'
wait  # the writers
before=$(stamp)
cp agent.conf before.conf
play "check mode" "1 0" 'section: soap, key: port, value: "9443"' --check --diff
[ "$(stamp)" = "$before" ] || report "check mode touched the file"
cmp -s agent.conf before.conf || report "check mode changed the file"
# The diff: the text before and after, which ansible-playbook --diff shows as lines.
python3 -c 'import json; r = json.load(open("play.json"))["plays"][0]["tasks"][0]["hosts"]["localhost"]
d = r["diff"][0] if isinstance(r["diff"], list) else r["diff"]
open("diff.before", "w").write(d["before"]); open("diff.after", "w").write(d["after"])'
[ "$(diff diff.before diff.after | grep '^[<>]')" = $'<     port=8443\n>     port=9443' ] ||
  report "check mode's diff: $(diff diff.before diff.after)"
play "unchanged in diff mode" "0 0" 'section: soap, key: port, value: "8443"' --diff
[ "$(stamp)" = "$before" ] || report "an unchanged run touched the file"
play "remove exactly" "1 0" 'section: soap, key: port, state: absent'
play "remove again" "0 0" 'section: soap, key: port, state: absent'
file=$scratch/nothing.conf play "remove from a missing file" "0 0" 'section: soap, key: port, state: absent'
[ -e nothing.conf ] && report "a removal created the missing file"
play "a task without a value fails" "0 1" 'section: soap, key: port'

# Every key: the module's, the exact removal's survivor, and both writers'.
expect_key() {  # key, section, value ('' for missing)
  checks=$((checks + 1))
  local got
  got=$("$orn" config get agent.conf "$1" "$2" 2>/dev/null)
  [ "$got" = "$3" ] || report "key $2/$1: '$got', expected '$3'"
}
expect_key port soap ''
expect_key port_1 soap 444
expect_key server soap 192.0.2.10
for w in 1 2; do for i in $(seq 40); do expect_key "w${w}_$i" other "$i"; done; done
finish
