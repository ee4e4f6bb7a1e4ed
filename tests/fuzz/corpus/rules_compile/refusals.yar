rule Broken { strings: $a = "x" xor condition: $a }
rule Deep { condition: ((((((((((((true)))))))))))) }
rule Bad { condition: $missing }
/* rule Commented { } */
rule After : t { condition: Deep }
