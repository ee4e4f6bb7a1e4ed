rule "x" { condition: true }
include "other.yar"
import "math"
global rule G { condition: true }
rule R { strings: $ = "anon" condition: 1.5 > 1 }
