# What the choices of a generated PPD mean, for the tests that print through
# the filter: the options and their choices, the code a choice puts in the
# page, the inspector's mode options for a set of choices, and Ghostscript's
# command-line settings for them.
# A set of choices is written "Name=choice Name=choice ...".

# The user options of a PPD, one a line: the name, then its choices.
# PageRegion is left out: CUPS sets it with PageSize.
ppd_options() {  # PPD
  awk '/^\*OpenUI \*/ { option = $2; sub(/^\*/, "", option); sub(/[\/:].*/, "", option); choices = ""; next }
       /^\*CloseUI/ { if (option != "PageRegion") print option choices; option = ""; next }
       option != "" && index($0, "*" option " ") == 1 { choice = $2; sub(/[\/:].*/, "", choice); choices = choices " " choice }' "$1"
}

# The PostScript code of each choice, one a line.
ppd_choice_code() {  # PPD CHOICES
  local setting
  for setting in $2; do
    sed -n "s/^\*${setting%%=*} ${setting#*=}[/:][^\"]*\"\(.*\)\"\$/\1/p" "$1"
  done
}

# Whether the PPD keeps two choices apart with a constraint.
ppd_constrained() {  # PPD Name=choice Name=choice
  grep -q "^\*UIConstraints: \*${2%%=*} ${2#*=} \*${3%%=*} ${3#*=}\$" "$1"
}

# The resolution a quality prints at: the Resolution choice that the PPD
# does not keep apart from it. A page rendered at another is scaled to it.
printed_resolution() {  # PPD QUALITY
  local dpi
  for dpi in $(sed -n 's/^\*Resolution \([0-9]*\)dpi.*/\1/p' "$1"); do
    ppd_constrained "$1" "VexaoQuality=$2" "Resolution=${dpi}dpi" || { echo "$dpi"; return; }
  done
}

# The inspector's mode options for a set of choices: the PPD's model number,
# the settings that the chosen choices' code puts in the raster header, and
# the resolution that the chosen quality prints at.
mode_options() {  # PPD CHOICES
  local code quality=""
  code=$(ppd_choice_code "$1" "$2")
  [[ " $2" =~ \ VexaoQuality=([^ ]+) ]] && quality=${BASH_REMATCH[1]}
  printf -- '--model %s' "$(sed -n 's/^\*cupsModelNumber: *//p' "$1")"
  [[ $code =~ cupsInteger0\ ([0-9]+) ]] && printf -- ' --variant %s' "${BASH_REMATCH[1]}"
  [[ $code =~ cupsInteger1\ ([0-9]+) ]] && printf -- ' --raster-mode %s' "${BASH_REMATCH[1]}"
  [[ $code =~ cupsInteger3\ 1 ]] && printf -- ' --single-plane'
  printf -- ' --resolution %s\n' "$(printed_resolution "$1" "$quality")"
}

# The settings that the choices' setpagedevice code makes, as Ghostscript
# options (-dcupsColorSpace=6, -r600x600), one a line, as a CUPS renderer
# passes them when it starts the cups device. Settings made by setpagedevice
# after the device has started would render colour through a different
# profile. The page size is left to the document.
ghostscript_options() {  # PPD CHOICES
  ppd_choice_code "$1" "$2" | sed -e 's/^<<//' -e 's/>>setpagedevice$//' | tr '/' '\n' |
    awk '/^HWResolution\[/ { gsub(/[^0-9 ]/, ""); split($0, dpi, " "); print "-r" dpi[1] "x" dpi[2]; next }
         $1 ~ /^(PageSize|ImagingBBox)/ { next }
         NF == 2 && $2 ~ /^-?[0-9]+$/ { print "-d" $1 "=" $2 }'
}
