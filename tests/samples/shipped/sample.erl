% tarvik: executable 4 comment 3 total 8
-module(sample).
-export([greet/1]).

%% a double-percent comment
greet(Name) ->
    io:format("Hello, ~s! 100% sure~n", [Name]). % trailing
%%% section
