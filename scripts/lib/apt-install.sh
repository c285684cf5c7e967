# Installs the Debian packages named as arguments that are not installed yet, quietly,
# without recommends, as root or through sudo. Package scripts may not start system
# services meanwhile: the tests start their own, privately.
install_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0

  local sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  local policy=/usr/sbin/policy-rc.d added_policy=false
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' | "${sudo_cmd[@]}" tee "$policy" >/dev/null
    "${sudo_cmd[@]}" chmod +x "$policy"
    added_policy=true
  fi
  local status=0
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get update -qq &&
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq \
      --no-install-recommends "${missing[@]}" >/dev/null || status=$?
  $added_policy && "${sudo_cmd[@]}" rm -f "$policy"
  return "$status"
}
