# PostScript for the end-to-end tests: A4 pages of bars an inch high, which
# vexao_cups_page_check finds again in the printed stream. "top" is black
# across the top of the page, "bottom" spans the bottom in the colour given,
# and "grey" covers the whole page in grey.
#   write_bar_pages FILE BOTTOM-COLOUR PAGE...
# BOTTOM-COLOUR is PostScript that sets a colour, such as "0 1 1 setrgbcolor";
# a page is top, bottom, top+bottom or grey.
write_bar_pages() {
  local file=$1 bottom_colour=$2 page
  shift 2
  {
    echo '%!PS'
    echo '<< /PageSize [595 842] >> setpagedevice'
    echo '/bar { newpath 0 exch moveto 595 0 rlineto 0 72 rlineto -595 0 rlineto closepath fill } def'
    echo '/top { 0 setgray 740 bar } def'
    echo "/bottom { $bottom_colour 40 bar } def"
    echo '/grey { 0.6 setgray 0 0 595 842 rectfill } def'
    for page; do echo "${page/+/ } showpage"; done
  } > "$file"
}
