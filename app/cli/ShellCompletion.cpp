#include "app/cli/ShellCompletion.h"

#include <algorithm>
#include <sstream>

#include "app/cli/CliSession.h"
#include "app/cli/CommandTable.h"

namespace cli {
namespace {

// The characters of a port name a script may offer: none that any of the
// shells expands, splits or treats as an operator where it stands.
constexpr const char* kPortNameCharacters = "A-Za-z0-9_.:/+@%=,-";

std::string Joined(const std::vector<std::string>& words, const char* between = " ") {
    std::string text;
    for (const std::string& w : words)
        text += (text.empty() ? "" : between) + w;
    return text;
}

std::vector<std::string> NamesOf(const std::vector<OptionShape>& options) {
    std::vector<std::string> names;
    for (const OptionShape& o : options)
        names.insert(names.end(), o.names.begin(), o.names.end());
    return names;
}

// Every option of every level that takes a value of this name.
std::vector<std::string> OptionsTaking(const CommandLineShape& shape, const std::string& value) {
    std::vector<std::string> names;
    auto add = [&](const std::vector<OptionShape>& options) {
        for (const OptionShape& o : options)
            if (o.value == value && !o.valueOptional)
                for (const std::string& n : o.names)
                    if (std::find(names.begin(), names.end(), n) == names.end())
                        names.push_back(n);
    };
    add(shape.common);
    for (const CommandShape& c : shape.commands)
        add(c.options);
    return names;
}

// What a command's operands offer together: files, the suffix when all
// file operands share one, and the words of a list.
OperandValues ValuesOf(const CommandShape& command) {
    OperandValues values;
    std::string suffix;
    bool anyFile = false, plainFile = false;
    for (const std::string& operand : command.operands) {
        const OperandValues v = OperandCompletion(operand);
        if (v.files) {
            anyFile = true;
            if (*v.fileSuffix == '\0')
                plainFile = true;
            else
                values.fileSuffix = v.fileSuffix;
        }
        if (*v.words != '\0')
            values.words = v.words;
    }
    values.files = anyFile;
    if (plainFile)
        values.fileSuffix = "";
    return values;
}

// Text between single quotes: sh, bash and zsh write a quote as '\'',
// fish as \' (and a backslash as \\), PowerShell as ''.
std::string ShQuoted(const std::string& text) {
    std::string q = "'";
    for (char c : text)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}
std::string FishQuoted(const std::string& text) {
    std::string q = "'";
    for (char c : text)
        q += c == '\'' || c == '\\' ? std::string("\\") + c : std::string(1, c);
    return q + "'";
}
std::string PsQuoted(const std::string& text) {
    std::string q = "'";
    for (char c : text)
        q += c == '\'' ? std::string("''") : std::string(1, c);
    return q + "'";
}

std::string CommandNames(const CommandLineShape& shape) {
    std::vector<std::string> names;
    for (const CommandShape& c : shape.commands)
        names.push_back(c.name);
    return Joined(names);
}

std::string Bash(const CommandLineShape& shape) {
    std::ostringstream o;
    o << "# bash completion for brevik, made from its command table (brevik completion bash).\n"
      << "_brevik() {\n"
      << "    local cur prev words cword\n"
      << "    _init_completion || return\n"
      << "    local commands=\"" << CommandNames(shape) << "\"\n"
      << "    local common=\"" << Joined(NamesOf(shape.common)) << "\"\n"
      << "    case \"$prev\" in\n"
      << "        " << Joined(OptionsTaking(shape, "PORT"), " | ") << ")\n"
      << "            # What 'brevik ports' prints holds text from devices: it never goes\n"
      << "            # through compgen -W, which expands what it is given, and a word is\n"
      << "            # offered only when no shell character is in it.\n"
      << "            local line name names\n"
      << "            COMPREPLY=()\n"
      << "            while IFS= read -r line; do\n"
      << "                read -r -a names <<<\"$line\"\n"
      << "                case \"$line\" in\n"
      << "                    COM*) names=(\"${names[0]}\") ;;\n"
      << "                    \" \"*) ;;\n"
      << "                    *) continue ;;\n"
      << "                esac\n"
      << "                for name in \"${names[@]}\"; do\n"
      << "                    [[ \"$name\" =~ ^[" << kPortNameCharacters
      << "]+$ && \"$name\" == \"$cur\"* ]] &&\n"
      << "                        COMPREPLY+=(\"$name\")\n"
      << "                done\n"
      << "            done < <(brevik ports 2>/dev/null)\n"
      << "            return\n"
      << "            ;;\n";
    o << "        " << Joined(OptionsTaking(shape, "FILE"), " | ")
      << ")\n            _filedir\n            return\n            ;;\n";
    for (const OptionShape& opt : shape.common) {
        if (!opt.choices.empty())
            o << "        " << Joined(opt.names, " | ")
              << ")\n            COMPREPLY=($(compgen -W \"" << Joined(opt.choices)
              << "\" -- \"$cur\"))\n            return\n            ;;\n";
    }
    o << "    esac\n"
      << "    local command=\"\" w\n"
      << "    for w in \"${words[@]:1:cword-1}\"; do\n"
      << "        case \" $commands \" in *\" $w \"*) command=\"$w\"; break ;; esac\n"
      << "    done\n"
      << "    if [[ -z \"$command\" ]]; then\n"
      << "        COMPREPLY=($(compgen -W \"$commands $common\" -- \"$cur\"))\n"
      << "        return\n"
      << "    fi\n"
      << "    local extra=\"\" files=\"\" suffix=\"\" operands=\"\"\n"
      << "    case \"$command\" in\n";
    for (const CommandShape& c : shape.commands) {
        const OperandValues v = ValuesOf(c);
        if (c.options.empty() && !v.files && *v.words == '\0')
            continue;
        o << "        " << c.name << ")";
        if (!c.options.empty())
            o << " extra=\"" << Joined(NamesOf(c.options)) << "\"";
        if (v.files)
            o << " files=yes suffix=\"" << (*v.fileSuffix ? v.fileSuffix + 1 : "") << "\"";
        if (*v.words != '\0')
            o << " operands=\"" << v.words << "\"";
        o << " ;;\n";
    }
    o << "    esac\n"
      << "    if [[ \"$cur\" == -* ]]; then\n"
      << "        COMPREPLY=($(compgen -W \"$common $extra\" -- \"$cur\"))\n"
      << "    elif [[ -n \"$operands\" ]]; then\n"
      << "        COMPREPLY=($(compgen -W \"$operands\" -- \"$cur\"))\n"
      << "    elif [[ -n \"$files\" ]]; then\n"
      << "        _filedir $suffix\n"
      << "    fi\n"
      << "}\n"
      << "complete -F _brevik brevik\n";
    return o.str();
}

std::string Zsh(const CommandLineShape& shape) {
    std::ostringstream o;
    o << "#compdef brevik\n"
      << "# zsh completion for brevik, made from its command table (brevik completion zsh).\n"
      << "\n"
      << "# The names of each port that 'brevik ports' lists. They hold text from\n"
      << "# devices: split into words without expansion, and only words without a\n"
      << "# shell character in them are offered.\n"
      << "_brevik_ports() {\n"
      << "    local line name\n"
      << "    local -a names offered\n"
      << "    for line in \"${(@f)$(brevik ports 2>/dev/null)}\"; do\n"
      << "        case $line in\n"
      << "            (COM*) names=(\"${${(z)line}[1]}\") ;;\n"
      << "            (' '*) names=(${=line}) ;;\n"
      << "            (*) continue ;;\n"
      << "        esac\n"
      << "        for name in \"${names[@]}\"; do\n"
      << "            [[ $name =~ '^[" << kPortNameCharacters << "]+$' ]] && offered+=(\"$name\")\n"
      << "        done\n"
      << "    done\n"
      << "    compadd -- \"${offered[@]}\"\n"
      << "}\n"
      << "\n"
      << "_brevik() {\n"
      << "    local -a commands common extra\n"
      << "    commands=(\n";
    for (const CommandShape& c : shape.commands)
        o << "        " << ShQuoted(c.name + ":" + c.help) << "\n";
    o << "    )\n"
      << "    common=(" << Joined(NamesOf(shape.common)) << ")\n"
      << "    local cur=${words[CURRENT]} prev=${words[CURRENT-1]}\n"
      << "    case $prev in\n"
      << "        (" << Joined(OptionsTaking(shape, "PORT"), "|") << ") _brevik_ports; return ;;\n"
      << "        (" << Joined(OptionsTaking(shape, "FILE"), "|") << ") _files; return ;;\n";
    for (const OptionShape& opt : shape.common) {
        if (!opt.choices.empty())
            o << "        (" << Joined(opt.names, "|") << ") compadd -- " << Joined(opt.choices)
              << "; return ;;\n";
    }
    o << "    esac\n"
      << "    local command= w\n"
      << "    for w in \"${(@)words[2,CURRENT-1]}\"; do\n"
      << "        if (( ${commands[(I)$w:*]} )); then command=$w; break; fi\n"
      << "    done\n"
      << "    if [[ -z $command ]]; then\n"
      << "        if [[ $cur == -* ]]; then compadd -- $common; else _describe -t commands "
         "'brevik command' commands; fi\n"
      << "        return\n"
      << "    fi\n"
      << "    case $command in\n";
    for (const CommandShape& c : shape.commands) {
        if (!c.options.empty())
            o << "        (" << c.name << ") extra=(" << Joined(NamesOf(c.options)) << ") ;;\n";
    }
    o << "    esac\n"
      << "    if [[ $cur == -* ]]; then\n"
      << "        compadd -- $common $extra\n"
      << "        return\n"
      << "    fi\n"
      << "    case $command in\n";
    for (const CommandShape& c : shape.commands) {
        const OperandValues v = ValuesOf(c);
        if (*v.words != '\0')
            o << "        (" << c.name << ") compadd -- " << v.words << " ;;\n";
        else if (v.files && *v.fileSuffix != '\0')
            o << "        (" << c.name << ") _files -g '*" << v.fileSuffix << "' ;;\n";
        else if (v.files)
            o << "        (" << c.name << ") _files ;;\n";
    }
    o << "    esac\n"
      << "}\n"
      << "\n"
      << "if [[ $funcstack[1] == _brevik ]]; then _brevik \"$@\"; else compdef _brevik brevik; "
         "fi\n";
    return o.str();
}

std::string Fish(const CommandLineShape& shape) {
    std::ostringstream o;
    const std::string commands = CommandNames(shape);
    o << "# fish completion for brevik, made from its command table (brevik completion fish).\n"
      << "\n"
      << "# The names of each port that 'brevik ports' lists. They hold text from\n"
      << "# devices: only words without a shell character in them are offered.\n"
      << "function __brevik_ports\n"
      << "    brevik ports 2>/dev/null | while read -l line\n"
      << "        set -l names\n"
      << "        switch $line\n"
      << "            case 'COM*'\n"
      << "                set names (string split -n ' ' -- $line)[1]\n"
      << "            case ' *'\n"
      << "                set names (string split -n ' ' -- $line)\n"
      << "            case '*'\n"
      << "                continue\n"
      << "        end\n"
      << "        for name in $names\n"
      << "            string match -qr '^[" << kPortNameCharacters << "]+$' -- $name\n"
      << "            and echo $name\n"
      << "        end\n"
      << "    end\n"
      << "end\n"
      << "\n"
      << "complete -c brevik -f\n";
    for (const CommandShape& c : shape.commands)
        o << "complete -c brevik -n 'not __fish_seen_subcommand_from " << commands << "' -a "
          << c.name << " -d " << FishQuoted(c.help) << "\n";
    auto option = [&](const OptionShape& opt, const std::string& condition) {
        o << "complete -c brevik";
        if (!condition.empty())
            o << " -n " << FishQuoted(condition);
        for (const std::string& n : opt.names)
            o << (n.rfind("--", 0) == 0 ? " -l " + n.substr(2) : " -s " + n.substr(1));
        if (opt.value == "PORT")
            o << " -x -a '(__brevik_ports)'";
        else if (opt.value == "FILE" && !opt.valueOptional)
            o << " -r -F";
        else if (!opt.choices.empty())
            o << " -x -a " << FishQuoted(Joined(opt.choices));
        o << " -d " << FishQuoted(opt.help) << "\n";
    };
    for (const OptionShape& opt : shape.common)
        option(opt, "");
    for (const CommandShape& c : shape.commands) {
        const std::string seen = "__fish_seen_subcommand_from " + c.name;
        for (const OptionShape& opt : c.options)
            option(opt, seen);
        const OperandValues v = ValuesOf(c);
        if (*v.words != '\0')
            o << "complete -c brevik -n " << FishQuoted(seen) << " -a " << FishQuoted(v.words)
              << "\n";
        else if (v.files && *v.fileSuffix != '\0')
            o << "complete -c brevik -n " << FishQuoted(seen) << " -a "
              << FishQuoted(std::string("(__fish_complete_suffix ") + v.fileSuffix + ")") << "\n";
        else if (v.files)
            o << "complete -c brevik -n " << FishQuoted(seen) << " -F\n";
    }
    return o.str();
}

std::string PsList(const std::vector<std::string>& words) {
    std::string text = "@(";
    for (size_t i = 0; i < words.size(); ++i)
        text += (i ? ", " : "") + PsQuoted(words[i]);
    return text + ")";
}

// The tables the PowerShell completer reads: commands, options, values.
void PowerShellTables(const CommandLineShape& shape, std::ostringstream& o) {
    const auto list = PsList;
    std::vector<std::string> commands;
    for (const CommandShape& c : shape.commands)
        commands.push_back(c.name);
    o << "    $commands = " << list(commands) << "\n"
      << "    $common = " << list(NamesOf(shape.common)) << "\n"
      << "    $ports = " << list(OptionsTaking(shape, "PORT")) << "\n"
      << "    $files = " << list(OptionsTaking(shape, "FILE")) << "\n"
      << "    $choices = @{\n";
    for (const OptionShape& opt : shape.common)
        if (!opt.choices.empty())
            for (const std::string& n : opt.names)
                o << "        " << PsQuoted(n) << " = " << list(opt.choices) << "\n";
    o << "    }\n"
      << "    $own = @{\n";
    for (const CommandShape& c : shape.commands)
        if (!c.options.empty())
            o << "        " << PsQuoted(c.name) << " = " << list(NamesOf(c.options)) << "\n";
    o << "    }\n"
      << "    $operands = @{\n";
    for (const CommandShape& c : shape.commands) {
        const OperandValues v = ValuesOf(c);
        if (*v.words != '\0' || v.files) {
            std::istringstream words(v.words);
            std::vector<std::string> split;
            for (std::string w; words >> w;)
                split.push_back(w);
            o << "        " << PsQuoted(c.name) << " = "
              << (split.empty() ? "'files'" : list(split)) << "\n";
        }
    }
    o << "    }\n";
}

std::string PowerShell(const CommandLineShape& shape) {
    std::ostringstream o;
    o << "# PowerShell completion for brevik, made from its command table\n"
      << "# (brevik completion powershell). Load it from your profile:\n"
      << "#   . \"$env:ProgramFiles\\Brevik\\completion\\brevik.ps1\"\n"
      << "Register-ArgumentCompleter -Native -CommandName brevik, brevik.exe -ScriptBlock {\n"
      << "    param($wordToComplete, $commandAst, $cursorPosition)\n";
    PowerShellTables(shape, o);
    o << "    # The words before the one completed (its own text, never run).\n"
      << "    $before = @($commandAst.CommandElements | Where-Object {\n"
      << "        $_.Extent.EndOffset -lt $cursorPosition -or\n"
      << "        ($_.Extent.EndOffset -eq $cursorPosition -and $wordToComplete -eq '')\n"
      << "    } | ForEach-Object { $_.Extent.Text })\n"
      << "    $prev = if ($before.Count -gt 0) { $before[-1] } else { '' }\n"
      << "    $command = $before | Select-Object -Skip 1 | Where-Object { $commands -contains $_ } "
         "| Select-Object -First 1\n"
      << "    $offered = @()\n"
      << "    if ($ports -contains $prev) {\n"
      << "        # 'brevik ports' holds text from devices: only words without a\n"
      << "        # character PowerShell would read as code are offered.\n"
      << "        foreach ($line in @(& brevik ports 2>$null)) {\n"
      << "            $names = @($line -split ' ' | Where-Object { $_ -ne '' })\n"
      << "            if ($line -like 'COM*') { $names = @($names[0]) }\n"
      << "            elseif ($line -notlike ' *') { continue }\n"
      << "            $offered += $names | Where-Object { $_ -cmatch '^[" << kPortNameCharacters
      << "]+$' }\n"
      << "        }\n"
      << "    } elseif ($files -contains $prev) {\n"
      << "        return\n"
      << "    } elseif ($choices.ContainsKey($prev)) {\n"
      << "        $offered = $choices[$prev]\n"
      << "    } elseif (-not $command) {\n"
      << "        $offered = if ($wordToComplete -like '-*') { $common } else { $commands }\n"
      << "    } elseif ($wordToComplete -like '-*') {\n"
      << "        $offered = $common\n"
      << "        if ($own.ContainsKey($command)) { $offered += $own[$command] }\n"
      << "    } elseif ($operands.ContainsKey($command)) {\n"
      << "        if ($operands[$command] -eq 'files') { return }\n"
      << "        $offered = $operands[$command]\n"
      << "    }\n"
      << "    $offered | Where-Object { $_.StartsWith($wordToComplete, "
         "[StringComparison]::Ordinal) "
         "} |\n"
      << "        ForEach-Object {\n"
      << "        # Quoted, so that '@', ',' and the like stay part of the word.\n"
      << "        $text = if ($_ -match '^[A-Za-z0-9_./:-]+$') { $_ } else { \"'\" + $_ + \"'\" }\n"
      << "        [System.Management.Automation.CompletionResult]::new($text, $_, "
         "'ParameterValue', $_)\n"
      << "    }\n"
      << "}\n";
    return o.str();
}

}  // namespace

std::string CompletionScript(std::string_view shell, const CommandLineShape& shape) {
    if (shell == "bash")
        return Bash(shape);
    if (shell == "zsh")
        return Zsh(shape);
    if (shell == "fish")
        return Fish(shape);
    if (shell == "powershell")
        return PowerShell(shape);
    return "";
}

int Completion(Session& s) {
    const std::string& shell = s.args.operands[0];
    const std::string script = CompletionScript(shell, DescribeCommandLine());
    if (script.empty())
        return s.Fail(kCliUsageError,
                      "no completion for " + shell + "; there is one for " + OperandHelp("SHELL"));
    if (s.args.json)
        s.doc["script"] = script;
    else
        std::fputs(script.c_str(), s.out);
    return kCliSucceeded;
}

}  // namespace cli
